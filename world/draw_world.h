// Drawing the world around the player with the following camera.
#pragma once

#include "state/game_state.h"
#include "world/region_cache.h"
#include "world/world.h"

// Clears the current target to black, draws the visible tiles and the
// player's bitmap on top. Reads the grid only; the tiles come from the
// cache's regions, brought up to date with the grid first, so a changed cell
// shows in this very frame. May be called while drawing is held.
void draw_world(RegionCache *cache, const WorldGrid *grid, GameState state);

// The same frame drawn straight from the grid, runs of equal tiles merged.
void draw_world_in_runs(const WorldGrid *grid, GameState state);

// The same frame with one draw per visible cell, never merging runs of equal
// tiles: the reference that the other two must match pixel for pixel.
void draw_world_cell_by_cell(const WorldGrid *grid, GameState state);
