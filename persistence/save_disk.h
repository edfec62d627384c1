// The save file on disk, read and written whole through the checking
// encoder and decoder.
#pragma once

#include "persistence/save_check.h"
#include "state/game_state.h"
#include "world/world.h"

// Reads and checks the file at `path`; never changes *state or *grid unless
// the whole file is sound. It waits up to 2 s for a save being rewritten in
// place (it takes the file's shared lock), then counts the file unreadable.
SaveCheck read_save_file(const char *path, const BlockKindTable *table, GameState *state, WorldGrid *grid);

// write_save_file replaces the file `path` names (through any links, which
// stay) only once the new file is complete on disk, with the old file's
// permission bits, owner and group. Each save writes beside it under a name of
// its own, "<file>.<8 lowercase hex digits>.tmp", created exclusively and
// locked (flock) until it is renamed into place, so two games can save into
// one folder at once: each completes, and the file holds whichever renamed
// last. Such files left unlocked by a game killed mid-save are removed first;
// locked ones belong to a live save and are left alone. The former single
// name "<file>.tmp" is never touched: an older game may be writing it. It
// refuses a save the process may not write to. In a folder that refuses new
// files it rewrites the save in place instead, under the file's exclusive
// lock; a failure there leaves a file too short to load, and says so.
SaveCheck write_save_file(const char *path, const WorldGrid *grid, GameState state);
