// The save file "ClodmereSave.wld": the whole game in one fixed-size file.
#pragma once

#include "state/game_state.h"
#include "world/world.h"

constexpr const char *SAVE_FILE_NAME = "ClodmereSave.wld";

// Writes the game to the save file in the working directory.
void save_world(const WorldGrid *grid, GameState state);

// Reads the save file into the grid and returns the loaded record (keeping the
// running bitmap and screen size). When no usable save exists the grid is
// untouched and `state` comes back with load_failed 1.
GameState load_world(WorldGrid *grid, GameState state, const BlockKindTable *table);
