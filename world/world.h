// The block record, the table of block kinds and the world grid.
#pragma once

#include <cstdint>

struct ALLEGRO_BITMAP;

constexpr int WORLD_COLUMNS = 720;
constexpr int WORLD_ROWS = 480;
constexpr int CELL_SIZE = 10;
constexpr int WORLD_CELL_COUNT = WORLD_COLUMNS * WORLD_ROWS;  // 345,600
constexpr int WORLD_WIDTH = WORLD_COLUMNS * CELL_SIZE;        // 7200 pixels
constexpr int WORLD_HEIGHT = WORLD_ROWS * CELL_SIZE;          // 4800 pixels

// Block kind ids; each equals the kind's index in the BlockKindTable.
enum BlockKind : std::int32_t {
  BLOCK_NULL = 0,
  BLOCK_AIR = 1,
  BLOCK_DIRT = 2,
  BLOCK_GRASS = 3,
  BLOCK_STONE = 4,
  BLOCK_GOLD = 5,
  BLOCK_UNDERGROUND = 6,
};
constexpr int BLOCK_KIND_COUNT = 7;

// One block: both a kind in the table and a cell of the grid. A cell changes
// kind only by having a whole table entry copied over it (keeping its x, y).
struct Block {
  char name[8];           // not NUL-terminated when 8 letters long ("Undergro")
  std::int32_t id;        // BlockKind
  ALLEGRO_BITMAP *tile;   // owned by the table, shared by every cell of the kind
  std::uint8_t passable;  // Air and Underground; any non-zero byte means passable
  float x;                // world pixel x of the cell's left edge (10 * column)
  float y;                // world pixel y of the cell's top edge (10 * row)
};

struct BlockKindTable {
  Block kinds[BLOCK_KIND_COUNT];
  // Every tile is a 10 x 10 sub-bitmap of this one bitmap (10 x 60, the tiles
  // one above the other), so that held drawing batches a frame of one draw
  // per cell into a few draw calls.
  ALLEGRO_BITMAP *atlas;
};

// Column-major: column c, row r is element c * WORLD_ROWS + r.
struct WorldGrid {
  Block cells[WORLD_CELL_COUNT];
};

constexpr int cell_index(int column, int row) { return column * WORLD_ROWS + row; }

constexpr bool cell_in_grid(int column, int row) {
  return column >= 0 && column < WORLD_COLUMNS && row >= 0 && row < WORLD_ROWS;
}

inline Block &cell_at(WorldGrid *grid, int column, int row) { return grid->cells[cell_index(column, row)]; }
inline const Block &cell_at(const WorldGrid *grid, int column, int row) { return grid->cells[cell_index(column, row)]; }

// The whole part of a real number, truncated toward zero. Values far outside
// the world (and NaN, which only a damaged record could hold) come out as a
// number far outside the grid instead of overflowing the conversion.
inline int whole_part(double value) {
  constexpr double far_away = 1.0e8;
  if (!(value > -far_away)) return -static_cast<int>(far_away);
  if (!(value < far_away)) return static_cast<int>(far_away);
  return static_cast<int>(value);
}

// The column (or row) of the cell under world pixel coordinate `p`:
// trunc(p) / 10, both steps toward zero.
inline int cell_of_pixel(float p) { return whole_part(p) / CELL_SIZE; }

// Copies a table entry over a cell, keeping the cell's own position.
inline void set_cell_kind(Block *cell, const Block &kind) {
  const float x = cell->x;
  const float y = cell->y;
  *cell = kind;
  cell->x = x;
  cell->y = y;
}

// Fills the seven kinds and creates their tiles. Needs Allegro initialised.
void load_block_kinds(BlockKindTable *table);
