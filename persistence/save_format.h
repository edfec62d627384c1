// The binding byte layout of the save file, and its checking encoder/decoder.
// NOTE: every offset here is fixed for good: files written by any earlier
// run, on any platform, must keep loading. Never reorder or resize a field.
#pragma once

#include <cstddef>

#include "persistence/save_check.h"
#include "state/game_state.h"
#include "world/world.h"

constexpr std::size_t SAVE_STATE_BYTES = 280;  // the GameState section at offset 0
constexpr std::size_t SAVE_CELL_BYTES = 28;    // one Block record
constexpr std::size_t SAVE_FILE_BYTES = SAVE_STATE_BYTES + SAVE_CELL_BYTES * WORLD_CELL_COUNT;  // 9,677,080

// Writes the exact file image of `grid` and `state` into `out`
// (SAVE_FILE_BYTES bytes), little-endian, field by field.
void encode_save(const WorldGrid *grid, GameState state, unsigned char *out);

// Checks a whole file image. When it is sound, fills *state with every stored
// field and *grid with every cell (tiles from `table`; a null table leaves
// tiles null). When it is not, changes neither and says why.
SaveCheck decode_save(const unsigned char *bytes, std::size_t size, const BlockKindTable *table, GameState *state,
                      WorldGrid *grid);

// The pieces decode_save and encode_save are made of, for checking one piece
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
