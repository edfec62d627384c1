// The game's own random generator: the same numbers from a seed on every
// platform, so a seed always gives the same world.
#pragma once

#include <cstdint>

// Largest value clodmere_rand returns.
constexpr int CLODMERE_RAND_MAX = 32767;

// The step, state * RANDOM_MULTIPLIER + RANDOM_INCREMENT modulo 2^32. Every
// seed's world depends on it: it never changes.
constexpr std::uint32_t RANDOM_MULTIPLIER = 214013u;
constexpr std::uint32_t RANDOM_INCREMENT = 2531011u;

// The value a draw returns once the state has stepped to `state`: bits 16 to 30.
constexpr int random_value(std::uint32_t state) { return static_cast<int>((state >> 16) & CLODMERE_RAND_MAX); }

// Sets the generator's 32-bit state to `seed` (the srand of the game).
void clodmere_srand(std::uint32_t seed);

// Steps the state and returns its random_value, from 0 to CLODMERE_RAND_MAX
// (the rand of the game).
int clodmere_rand();
