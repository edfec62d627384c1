// Drawing the world around the player with the following camera.
#pragma once

#include "state/game_state.h"
#include "world/world.h"

// Clears the current target to black, draws the visible tiles and the
// player's bitmap on top. Reads the grid only; changes nothing.
void draw_world(const WorldGrid *grid, GameState state);

// The same frame with one draw per visible cell, never merging runs of equal
// tiles: the reference that draw_world's pixels must match.
void draw_world_cell_by_cell(const WorldGrid *grid, GameState state);
