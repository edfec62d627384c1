// The game's own random generator: the same numbers from a seed on every
// platform, so a seed always gives the same world.
#pragma once

#include <cstdint>

// Largest value clodmere_rand returns.
constexpr int CLODMERE_RAND_MAX = 32767;

// Sets the generator's 32-bit state to `seed` (the srand of the game).
void clodmere_srand(std::uint32_t seed);

// Steps the state (state * 214013 + 2531011, modulo 2^32) and returns
// bits 16 to 30 of it, a value from 0 to CLODMERE_RAND_MAX (the rand of the game).
int clodmere_rand();
