// The binding byte layout of the save file, and its checking encoder/decoder.
// NOTE: every offset here is fixed for good: files written by any earlier
// run, on any platform, must keep loading. Never reorder or resize a field.
#pragma once

#include <cstddef>

#include "state/game_state.h"
#include "world/world.h"

constexpr std::size_t SAVE_STATE_BYTES = 280;  // the GameState section at offset 0
constexpr std::size_t SAVE_CELL_BYTES = 28;    // one Block record
constexpr std::size_t SAVE_FILE_BYTES = SAVE_STATE_BYTES + SAVE_CELL_BYTES * WORLD_CELL_COUNT;  // 9,677,080

enum SaveStatus {
  SAVE_OK,
  SAVE_DAMAGED,     // read whole, but not a save this game could have written
  SAVE_UNREADABLE,  // cannot be opened, read or written
};

struct SaveCheck {
  SaveStatus status;
  char reason[160];  // for the console when status is not SAVE_OK, e.g. "cell 12 has kind 9"
};

// Writes the exact file image of `grid` and `state` into `out`
// (SAVE_FILE_BYTES bytes), little-endian, field by field.
void encode_save(const WorldGrid *grid, GameState state, unsigned char *out);

// Checks a whole file image. When it is sound, fills *state with every stored
// field and *grid with every cell (tiles from `table`; a null table leaves
// tiles null). When it is not, changes neither and says why.
SaveCheck decode_save(const unsigned char *bytes, std::size_t size, const BlockKindTable *table, GameState *state,
                      WorldGrid *grid);

// The pieces decode_save and encode_save are made of, for checking one part
// on its own. The state section is SAVE_STATE_BYTES long; *state is filled
// only when the section is sound.
SaveCheck decode_state_section(const unsigned char *bytes, GameState *state);
void encode_state_section(GameState state, unsigned char *out);

// `count` cell records for the cells `first` to first + count - 1 of the
// grid's order (a whole file is 0 and WORLD_CELL_COUNT); cells[0] to
// cells[count - 1] are filled only when every record is sound.
SaveCheck decode_cell_records(const unsigned char *records, int first, int count, const BlockKindTable *table,
                              Block *cells);
void encode_cell_records(const Block *cells, int count, unsigned char *out);

// The same for a file at `path`: read_save_file never changes *state or *grid
// unless the whole file is sound.
SaveCheck read_save_file(const char *path, const BlockKindTable *table, GameState *state, WorldGrid *grid);

// write_save_file replaces the file `path` names (through any links, which
// stay) only once the new file is complete on disk, under the one temporary
// name "<file>.tmp" beside it, and with the old file's permission bits, owner
// and group. It refuses a save the process may not write to. In a folder that
// refuses new files it rewrites the save in place instead; a failure there
// leaves a file too short to load, and says so.
SaveCheck write_save_file(const char *path, const WorldGrid *grid, GameState state);
