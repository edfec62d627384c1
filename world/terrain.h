// Terrain generation: a new landscape for the whole grid.
#pragma once

#include "world/world.h"

// Fills every cell with a new world seeded from the clock.
void generate_world(WorldGrid *grid, const BlockKindTable *table);
