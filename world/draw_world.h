// Drawing the world around the player with the following camera.
#pragma once

#include "app/game_state.h"
#include "world/world.h"

// Clears the current target to black, draws the visible tiles and the
// player's bitmap on top. Reads the grid only; changes nothing.
void draw_world(const WorldGrid *grid, GameState state);
