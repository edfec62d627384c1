// Saving and loading the game through "ClodmereSave.wld" in the working directory.
#include "persistence/save_file.h"

#include <cstdio>

#include "persistence/save_disk.h"

void save_world(const WorldGrid *grid, GameState state) {
  const SaveCheck check = write_save_file(SAVE_FILE_NAME, grid, state);
  if (check.status == SAVE_OK) {
    std::printf("Saved the world!\n");
  } else {
    std::printf("Could not save the world: %s\n", check.reason);
  }
}

GameState load_world(WorldGrid *grid, GameState state, const BlockKindTable *table) {
  GameState loaded{};
  const SaveCheck check = read_save_file(SAVE_FILE_NAME, table, &loaded, grid);
  if (check.status != SAVE_OK) {
    // A refused file counts as no save at all; it stays on disk as it is.
    if (check.status == SAVE_DAMAGED) {
      std::printf("Save file is damaged, not loaded: %s\n", check.reason);
    } else {
      std::printf("No save found\n");
    }
    state.load_failed = 1;
    return state;
  }
  // The bitmap and the window belong to this run, not to the one that saved.
  loaded.player_bitmap = state.player_bitmap;
  loaded.screen_width = state.screen_width;
  loaded.screen_height = state.screen_height;
  loaded.load_failed = 0;
  std::printf("Loaded the world!\n");
  return loaded;
}
