// Terrain generation: a new landscape for the whole grid.
#pragma once

#include <cstdint>

#include "world/world.h"

// The low 32 bits of the calendar time in seconds.
std::uint32_t clock_seed();

// A seed as the player writes it: decimal digits, 0 to 4294967295.
bool parse_seed(const char *text, std::uint32_t *seed);

// The same landscape for the same seed, every time and on every platform.
// Leaves the game's random generator advanced by one draw per cell.
void generate_world(WorldGrid *grid, const BlockKindTable *table, std::uint32_t seed);

// The kind a cell of `row` gets when its random draw mod 100 is `v` (0 to 99).
// Row 479, the floor, stays NULL.
BlockKind terrain_kind(int row, int v);
