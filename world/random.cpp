// The game's own random generator, a 32-bit linear congruential one.
#include "world/random.h"

namespace {

// One generator for the whole run, as with the C library's srand and rand:
// only terrain generation draws from it, on the main thread.
std::uint32_t random_state = 0;

}  // namespace

void clodmere_srand(std::uint32_t seed) { random_state = seed; }

int clodmere_rand() {
  // Unsigned arithmetic wraps modulo 2^32, which is exactly the step we want.
  random_state = random_state * RANDOM_MULTIPLIER + RANDOM_INCREMENT;
  return random_value(random_state);
}
