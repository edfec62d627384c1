// Drawing the world around the player with the following camera.
#pragma once

#include "state/game_state.h"
#include "world/world.h"
#include "world/world_picture.h"

// Clears the current target to black, draws the cells the camera shows and
// the player's bitmap on top. Reads the grid only; the cells come from the
// picture, brought in step with the grid first, so a changed cell shows in
// this very frame. May be called while drawing is held.
void draw_world(WorldPicture *picture, const WorldGrid *grid, GameState state);

// The same frame with one draw per visible cell: the reference that the
// picture's frames must match pixel for pixel.
void draw_world_cell_by_cell(const WorldGrid *grid, GameState state);
