// Regions of pre-drawn cells: made when first shown, redrawn where the grid
// changed, released when far from the view.
#include "world/region_cache.h"

#include <allegro5/allegro.h>

#include <algorithm>
#include <iterator>

#include "world/tile_runs.h"

namespace {

// Beyond this many changed cells a region is redrawn whole: merged runs then
// cost less than one draw per cell (a load or a new world changes them all).
constexpr int CELL_UPDATE_LIMIT = 64;

CellBox region_cells(int rc, int rr) {
  return {rc * REGION_CELLS, std::min((rc + 1) * REGION_CELLS, WORLD_COLUMNS), rr * REGION_CELLS,
          std::min((rr + 1) * REGION_CELLS, WORLD_ROWS)};
}

// The regions [first_column, end_column) x [first_row, end_row) that hold
// any cell of `cells`; none when `cells` is empty.
CellBox regions_over(CellBox cells) {
  if (cells.end_column <= cells.first_column || cells.end_row <= cells.first_row) return {0, 0, 0, 0};
  return {cells.first_column / REGION_CELLS, (cells.end_column - 1) / REGION_CELLS + 1, cells.first_row / REGION_CELLS,
          (cells.end_row - 1) / REGION_CELLS + 1};
}

// The placement that draws `cells` with the cell (c, r) at (10c + shift_x, 10r + shift_y).
CameraView view_of(CellBox cells, int shift_x, int shift_y) {
  CameraView view{};
  const int columns = cells.end_column - cells.first_column, rows = cells.end_row - cells.first_row;
  view.columns = {columns, cells.first_column, CELL_SIZE * cells.first_column + shift_x, 0};
  view.rows = {rows, cells.first_row, CELL_SIZE * cells.first_row + shift_y, 0};
  view.drawn_columns = {0, columns};
  view.drawn_rows = {0, rows};
  return view;
}

// The colour of a one-colour tile, looked up once; null for a tile of its own
// (it may have any pixels) or when the table holds more tiles than kinds.
const ALLEGRO_COLOR *tile_colour(const RegionCache *cache, ALLEGRO_BITMAP *tile) {
  for (int k = 0; k < cache->colour_count; ++k) {
    if (cache->colours[k].tile == tile) return &cache->colours[k].colour;
  }
  return nullptr;
}

const ALLEGRO_COLOR *learn_tile_colour(RegionCache *cache, ALLEGRO_BITMAP *tile) {
  if (const ALLEGRO_COLOR *known = tile_colour(cache, tile)) return known;
  if (al_get_parent_bitmap(tile) == nullptr || cache->colour_count == BLOCK_KIND_COUNT) return nullptr;
  cache->colours[cache->colour_count] = {tile, al_get_pixel(tile, 0, 0)};
  return &cache->colours[cache->colour_count++].colour;
}

// Notes, for each row of the region, the one-colour tile all its cells show.
void note_row_tiles(RegionCache *cache, const WorldGrid *grid, int region, CellBox cells) {
  for (int r = cells.first_row; r < cells.end_row; ++r) {
    ALLEGRO_BITMAP *tile = cell_at(grid, cells.first_column, r).tile;
    for (int c = cells.first_column + 1; c < cells.end_column && tile != nullptr; ++c) {
      if (cell_at(grid, c, r).tile != tile) tile = nullptr;
    }
    if (tile != nullptr && learn_tile_colour(cache, tile) == nullptr) tile = nullptr;
    cache->row_tiles[region][r - cells.first_row] = tile;
  }
}

// Records the tiles of every cell of `cells` as shown.
void record_region(RegionCache *cache, const WorldGrid *grid, CellBox cells) {
  for (int c = cells.first_column; c < cells.end_column; ++c) {
    for (int r = cells.first_row; r < cells.end_row; ++r) {
      cache->drawn_tiles[cell_index(c, r)] = cell_at(grid, c, r).tile;
    }
  }
}

// Draws rows [first_row, end_row) of the region's cells into its bitmap (the
// current target), in runs over black, and records what they show.
void draw_region_rows(RegionCache *cache, const WorldGrid *grid, CellBox cells, int first_row, int end_row) {
  const CellBox rows{cells.first_column, cells.end_column, first_row, end_row};
  const int top = CELL_SIZE * (first_row - cells.first_row);
  al_set_clipping_rectangle(0, top, CELL_SIZE * (cells.end_column - cells.first_column),
                            CELL_SIZE * (end_row - first_row));
  al_clear_to_color(al_map_rgb(0, 0, 0));  // cells with no tile stay black
  al_reset_clipping_rectangle();
  al_hold_bitmap_drawing(true);
  draw_cells_in_runs(grid, view_of(rows, -CELL_SIZE * cells.first_column, -CELL_SIZE * cells.first_row));
  al_hold_bitmap_drawing(false);
  record_region(cache, grid, rows);
  cache->cells_redrawn += static_cast<long long>(cells.end_column - cells.first_column) * (end_row - first_row);
}

// Draws the whole region. Rows of one colour are cleared on the frame, never
// copied from the bitmap, so only the other rows are drawn into it.
void draw_whole_region(RegionCache *cache, const WorldGrid *grid, int region, CellBox cells) {
  ALLEGRO_BITMAP *const *row_tiles = cache->row_tiles[region];
  int r = cells.first_row;
  while (r < cells.end_row) {
    int end = r + 1;
    const bool one_colour = row_tiles[r - cells.first_row] != nullptr;
    while (end < cells.end_row && (row_tiles[end - cells.first_row] != nullptr) == one_colour) ++end;
    if (one_colour) {
      record_region(cache, grid, {cells.first_column, cells.end_column, r, end});
    } else {
      draw_region_rows(cache, grid, cells, r, end);
    }
    r = end;
  }
}

// Draws a region whose row tiles are noted. A region all of whose rows are of
// one colour needs no bitmap; the first row of more colours makes one.
void draw_region_afresh(RegionCache *cache, const WorldGrid *grid, int region, CellBox cells) {
  ALLEGRO_BITMAP *const *row_tiles = cache->row_tiles[region];
  const bool one_colour = std::find(row_tiles, row_tiles + REGION_CELLS, nullptr) == row_tiles + REGION_CELLS;
  ALLEGRO_BITMAP *&bitmap = cache->bitmaps[region];
  if (!one_colour && bitmap == nullptr) {
    bitmap = al_create_bitmap(CELL_SIZE * (cells.end_column - cells.first_column),
                              CELL_SIZE * (cells.end_row - cells.first_row));
  }
  if (bitmap == nullptr) {
    // One colour throughout, or out of texture memory: drawn from the grid.
    record_region(cache, grid, cells);
    return;
  }
  al_set_target_bitmap(bitmap);
  draw_whole_region(cache, grid, region, cells);
}

// Brings the region's bitmap (the current target) up to date with the grid:
// changed cells each in a draw of their own when they are few, rows that were
// of one colour and no longer are in whole, the whole region otherwise.
void update_region(RegionCache *cache, const WorldGrid *grid, int region, CellBox cells) {
  int changed[CELL_UPDATE_LIMIT];
  int count = 0;
  for (int c = cells.first_column; c < cells.end_column && count <= CELL_UPDATE_LIMIT; ++c) {
    for (int r = cells.first_row; r < cells.end_row; ++r) {
      const int index = cell_index(c, r);
      if (grid->cells[index].tile == cache->drawn_tiles[index]) continue;
      if (count == CELL_UPDATE_LIMIT) {
        ++count;
        break;
      }
      changed[count++] = index;
    }
  }
  if (count == 0) return;
  ALLEGRO_BITMAP *was_one_colour[REGION_CELLS];
  std::copy(std::begin(cache->row_tiles[region]), std::end(cache->row_tiles[region]), was_one_colour);
  note_row_tiles(cache, grid, region, cells);
  if (cache->bitmaps[region] == nullptr || count > CELL_UPDATE_LIMIT) {
    draw_region_afresh(cache, grid, region, cells);
    return;
  }
  al_set_target_bitmap(cache->bitmaps[region]);
  ALLEGRO_BITMAP *const *row_tiles = cache->row_tiles[region];
  for (int r = cells.first_row; r < cells.end_row; ++r) {
    const int j = r - cells.first_row;
    if (was_one_colour[j] != nullptr && row_tiles[j] == nullptr) draw_region_rows(cache, grid, cells, r, r + 1);
  }
  for (int k = 0; k < count; ++k) {
    const int index = changed[k];
    ALLEGRO_BITMAP *tile = grid->cells[index].tile;
    if (tile == cache->drawn_tiles[index]) continue;  // its row was drawn whole above
    cache->drawn_tiles[index] = tile;
    const int j = index % WORLD_ROWS - cells.first_row;
    if (row_tiles[j] != nullptr) continue;  // one colour: cleared on the frame
    const int x = CELL_SIZE * (index / WORLD_ROWS - cells.first_column), y = CELL_SIZE * j;
    if (tile == nullptr) {
      // Clearing honours the clipping rectangle: this blacks out one cell.
      al_set_clipping_rectangle(x, y, CELL_SIZE, CELL_SIZE);
      al_clear_to_color(al_map_rgb(0, 0, 0));
      al_reset_clipping_rectangle();
    } else {
      al_draw_bitmap(tile, static_cast<float>(x), static_cast<float>(y), 0);
    }
    ++cache->cells_redrawn;
  }
}

void release_region(RegionCache *cache, int index) {
  if (!cache->made[index]) return;
  cache->made[index] = false;
  ++cache->regions_released;
  if (cache->bitmaps[index] == nullptr) return;
  al_destroy_bitmap(cache->bitmaps[index]);
  cache->bitmaps[index] = nullptr;
}

void make_region(RegionCache *cache, const WorldGrid *grid, int rc, int rr) {
  const int region = rc * REGION_ROWS + rr;
  cache->made[region] = true;
  ++cache->regions_made;
  note_row_tiles(cache, grid, region, region_cells(rc, rr));
  draw_region_afresh(cache, grid, region, region_cells(rc, rr));
}

}  // namespace

void refresh_regions(RegionCache *cache, const WorldGrid *grid, CellBox shown) {
  // Bitmaps made for another window would be drawn from memory, slowly.
  if (cache->display != al_get_current_display()) {
    release_regions(cache);
    cache->colour_count = 0;
    cache->display = al_get_current_display();
  }
  const CellBox regions = regions_over(shown);
  for (int rc = regions.first_column; rc < regions.end_column; ++rc) {
    for (int rr = regions.first_row; rr < regions.end_row; ++rr) {
      const int region = rc * REGION_ROWS + rr;
      if (cache->made[region]) {
        update_region(cache, grid, region, region_cells(rc, rr));
      } else {
        make_region(cache, grid, rc, rr);
      }
    }
  }
  if (regions.end_column <= regions.first_column) return;
  // A ring of one region is kept around the view, so that walking to and fro
  // across a region's edge does not draw it again and again, and made one
  // region a frame ahead of need, so that walking on finds it ready.
  const CellBox ring{std::max(regions.first_column - 1, 0), std::min(regions.end_column + 1, REGION_COLUMNS),
                     std::max(regions.first_row - 1, 0), std::min(regions.end_row + 1, REGION_ROWS)};
  bool made_one = false;
  for (int rc = 0; rc < REGION_COLUMNS; ++rc) {
    for (int rr = 0; rr < REGION_ROWS; ++rr) {
      const bool in_ring = rc >= ring.first_column && rc < ring.end_column && rr >= ring.first_row && rr < ring.end_row;
      if (!in_ring) {
        release_region(cache, rc * REGION_ROWS + rr);
      } else if (!made_one && !cache->made[rc * REGION_ROWS + rr]) {
        make_region(cache, grid, rc, rr);
        made_one = true;
      }
    }
  }
}

void draw_regions(const RegionCache *cache, const WorldGrid *grid, CellBox shown, int shift_x, int shift_y) {
  const CellBox regions = regions_over(shown);
  for (int rc = regions.first_column; rc < regions.end_column; ++rc) {
    for (int rr = regions.first_row; rr < regions.end_row; ++rr) {
      const CellBox cells = region_cells(rc, rr);
      const int region = rc * REGION_ROWS + rr;
      ALLEGRO_BITMAP *const *row_tiles = cache->row_tiles[region];
      ALLEGRO_BITMAP *bitmap = cache->bitmaps[region];
      const int first_column = std::max(cells.first_column, shown.first_column);
      const int end_column = std::min(cells.end_column, shown.end_column);
      const int x = CELL_SIZE * first_column + shift_x, width = CELL_SIZE * (end_column - first_column);
      // Bands of rows: one colour throughout, cleared; anything else, copied
      // from the bitmap, or drawn from the grid when there is none.
      int r = std::max(cells.first_row, shown.first_row);
      const int end_row = std::min(cells.end_row, shown.end_row);
      while (r < end_row) {
        ALLEGRO_BITMAP *tile = cache->made[region] ? row_tiles[r - cells.first_row] : nullptr;
        int end = r + 1;
        while (end < end_row && cache->made[region] && row_tiles[end - cells.first_row] == tile) ++end;
        const int y = CELL_SIZE * r + shift_y, height = CELL_SIZE * (end - r);
        const ALLEGRO_COLOR *colour = tile == nullptr ? nullptr : tile_colour(cache, tile);
        if (colour != nullptr) {
          clear_box_cut(*colour, x, y, width, height);
        } else if (bitmap != nullptr) {
          draw_bitmap_cut(bitmap, CELL_SIZE * (first_column - cells.first_column), CELL_SIZE * (r - cells.first_row),
                          width, height, x, y);
        } else {
          clear_box_cut(al_map_rgb(0, 0, 0), x, y, width, height);
          draw_cells_in_runs(grid, view_of({first_column, end_column, r, end}, shift_x, shift_y));
        }
        r = end;
      }
    }
  }
}

void release_regions(RegionCache *cache) {
  for (int index = 0; index < REGION_COUNT; ++index) release_region(cache, index);
}
