// The world cut into square regions of cells, each drawn once into a bitmap
// of the game window and drawn again only where its cells have changed, so a
// frame costs a few large copies instead of thousands of tile draws.
#pragma once

#include <allegro5/color.h>

#include "world/world.h"

struct ALLEGRO_BITMAP;
struct ALLEGRO_DISPLAY;

// 32 x 32 cells, 320 x 320 pixels (400 KB) a region: large enough that a
// full-screen frame is a few dozen copies, small enough that a region coming
// into view is drawn in well under a frame and that the ring kept around the
// view stays a small share of the world.
constexpr int REGION_CELLS = 32;
constexpr int REGION_COLUMNS = (WORLD_COLUMNS + REGION_CELLS - 1) / REGION_CELLS;  // 23, the last 16 cells wide
constexpr int REGION_ROWS = (WORLD_ROWS + REGION_CELLS - 1) / REGION_CELLS;        // 15
constexpr int REGION_COUNT = REGION_COLUMNS * REGION_ROWS;

// The colour of a tile that is one colour throughout (cut from a strip).
struct TileColour {
  ALLEGRO_BITMAP *tile;
  ALLEGRO_COLOR colour;
};

// Cells [first_column, end_column) x [first_row, end_row) of the grid.
struct CellBox {
  int first_column, end_column;
  int first_row, end_row;
};

// Long-lived drawing state, owned by the main routine and passed by pointer.
// Zero-initialised it is empty. Nothing outside the drawing has to report a
// change: each refresh compares the grid with what the regions show.
struct RegionCache {
  ALLEGRO_DISPLAY *display;  // the window the bitmaps were made for
  // Region (rc, rr) is at rc * REGION_ROWS + rr. A region is made when first
  // shown; it has a bitmap only while a row of it shows more than one colour.
  bool made[REGION_COUNT];
  ALLEGRO_BITMAP *bitmaps[REGION_COUNT];
  // The tile each cell showed when its region was last drawn, in grid order;
  // meaningless for cells of a region without a bitmap.
  ALLEGRO_BITMAP *drawn_tiles[WORLD_CELL_COUNT];
  // Per region and row of cells within it: the one-colour tile every cell of
  // the row shows, or null. Such rows are cleared to that colour instead of
  // copied from the bitmap, which the software rasteriser does far faster.
  ALLEGRO_BITMAP *row_tiles[REGION_COUNT][REGION_CELLS];
  TileColour colours[BLOCK_KIND_COUNT];  // looked up once per tile
  int colour_count;
  // Running totals of the work done, read by tests and the benchmark.
  long long regions_made;
  long long regions_released;
  long long cells_redrawn;  // into bitmaps
};

// Brings every region overlapping `shown` up to date with the grid, making
// the missing ones, makes at most one missing region of the ring of regions
// around them, and releases every region beyond that ring.
// Leaves the target bitmap changed; must not run while drawing is held.
void refresh_regions(RegionCache *cache, const WorldGrid *grid, CellBox shown);

// Draws the cells of `shown` from their regions onto the current target, the
// cell (c, r) with its top-left corner at screen (10c + shift_x, 10r + shift_y),
// cut to the target; every pixel of that box is drawn. A region that has no
// bitmap is drawn from the grid.
// Must not run while drawing is held: it clears boxes between its draws.
void draw_regions(const RegionCache *cache, const WorldGrid *grid, CellBox shown, int shift_x, int shift_y);

// Releases every region and destroys its bitmap; the cache is empty again.
void release_regions(RegionCache *cache);
