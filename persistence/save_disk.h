// The save file on disk, read and written whole through the checking
// encoder and decoder.
#pragma once

#include "persistence/save_check.h"
#include "state/game_state.h"
#include "world/world.h"

// Reads and checks the file at `path`; never changes *state or *grid unless
// the whole file is sound.
SaveCheck read_save_file(const char *path, const BlockKindTable *table, GameState *state, WorldGrid *grid);

// write_save_file replaces the file `path` names (through any links, which
// stay) only once the new file is complete on disk, under the one temporary
// name "<file>.tmp" beside it, and with the old file's permission bits, owner
// and group. It refuses a save the process may not write to. In a folder that
// refuses new files it rewrites the save in place instead; a failure there
// leaves a file too short to load, and says so.
SaveCheck write_save_file(const char *path, const WorldGrid *grid, GameState state);
