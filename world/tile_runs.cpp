// Cells onto the target: one by one, or in runs of equal tiles.
#include "world/tile_runs.h"

#include <allegro5/allegro.h>

#include <algorithm>

namespace {

// Where a run of equal tiles is drawn from. A tile cut from the left end of a
// wider strip of its colour (the table's atlas) can be drawn n at a time as
// one region of the strip; a tile of its own covers one cell per draw.
struct TileSource {
  ALLEGRO_BITMAP *bitmap;  // the strip, or the tile itself
  int source_x;
  int source_y;
  int max_run;
};

TileSource tile_source(ALLEGRO_BITMAP *tile) {
  ALLEGRO_BITMAP *strip = al_get_parent_bitmap(tile);
  if (strip == nullptr) return {tile, 0, 0, 1};
  const int x = al_get_bitmap_x(tile);
  const int run = (al_get_bitmap_width(strip) - x) / CELL_SIZE;
  return {strip, x, al_get_bitmap_y(tile), std::max(run, 1)};
}

struct ScreenBox {
  int left, top, right, bottom;
};

ScreenBox target_clip_box() {
  int x = 0, y = 0, w = 0, h = 0;
  al_get_clipping_rectangle(&x, &y, &w, &h);
  return {x, y, x + w, y + h};
}

// Draws `width` x `height` pixels of `bitmap` from (source_x, source_y) with
// their top-left corner at screen (x, y), cut to `clip`. The software
// rasteriser takes a far slower path for a batch in which any corner lies off
// the target, so nothing is drawn outside it.
void draw_cut(ALLEGRO_BITMAP *bitmap, int source_x, int source_y, int width, int height, int x, int y,
              const ScreenBox &clip) {
  const int x0 = std::max(x, clip.left), y0 = std::max(y, clip.top);
  const int x1 = std::min(x + width, clip.right), y1 = std::min(y + height, clip.bottom);
  if (x1 <= x0 || y1 <= y0) return;
  al_draw_bitmap_region(bitmap, static_cast<float>(source_x + x0 - x), static_cast<float>(source_y + y0 - y),
                        static_cast<float>(x1 - x0), static_cast<float>(y1 - y0), static_cast<float>(x0),
                        static_cast<float>(y0), 0);
}

// A run of `width` pixels of one tile's strip: the tiles are one colour each,
// so a cut piece gives the same pixels as the whole.
void draw_run(const TileSource &source, int x, int y, int width, const ScreenBox &clip) {
  draw_cut(source.bitmap, source.source_x, source.source_y, width, CELL_SIZE, x, y, clip);
}

}  // namespace

void draw_cells_one_by_one(const WorldGrid *grid, const CameraView &view) {
  for (int j = view.drawn_rows.begin; j < view.drawn_rows.end; ++j) {
    const int row = view.rows.first_cell + j;
    for (int i = view.drawn_columns.begin; i < view.drawn_columns.end; ++i) {
      ALLEGRO_BITMAP *tile = cell_at(grid, view.columns.first_cell + i, row).tile;
      if (tile == nullptr) continue;  // a cell no kind was ever copied over stays black
      al_draw_bitmap(tile, static_cast<float>(view.columns.origin + CELL_SIZE * i),
                     static_cast<float>(view.rows.origin + CELL_SIZE * j), 0);
    }
  }
}

namespace {

// The tile most cells of a drawn row show, when it can be stretched over the
// whole row: a tile cut from a strip of its colour. None when the row has a
// cell with no tile, which must stay black.
ALLEGRO_BITMAP *row_background(const WorldGrid *grid, const CameraView &view, int row) {
  ALLEGRO_BITMAP *tiles[BLOCK_KIND_COUNT] = {};
  int counts[BLOCK_KIND_COUNT] = {};
  int kinds = 0;
  for (int i = view.drawn_columns.begin; i < view.drawn_columns.end; ++i) {
    ALLEGRO_BITMAP *tile = cell_at(grid, view.columns.first_cell + i, row).tile;
    if (tile == nullptr) return nullptr;
    int k = 0;
    while (k < kinds && tiles[k] != tile) ++k;
    if (k == kinds) {
      if (kinds == BLOCK_KIND_COUNT) return nullptr;  // not the table's tiles
      tiles[kinds++] = tile;
    }
    ++counts[k];
  }
  int best = 0;
  for (int k = 1; k < kinds; ++k) best = counts[k] > counts[best] ? k : best;
  if (kinds == 0 || al_get_parent_bitmap(tiles[best]) == nullptr) return nullptr;
  return tiles[best];
}

// Fills screen box [x0, x1) x [y0, y1) with the one colour of a strip tile,
// cut to the target, as one stretched draw of the tile's inner 8 x 8 pixels.
void fill_with_tile(ALLEGRO_BITMAP *tile, int x0, int y0, int x1, int y1, const ScreenBox &clip) {
  x0 = std::max(x0, clip.left);
  y0 = std::max(y0, clip.top);
  x1 = std::min(x1, clip.right);
  y1 = std::min(y1, clip.bottom);
  if (x1 <= x0 || y1 <= y0) return;
  ALLEGRO_BITMAP *strip = al_get_parent_bitmap(tile);
  al_draw_scaled_bitmap(strip, static_cast<float>(al_get_bitmap_x(tile) + 1),
                        static_cast<float>(al_get_bitmap_y(tile) + 1), static_cast<float>(CELL_SIZE - 2),
                        static_cast<float>(CELL_SIZE - 2), static_cast<float>(x0), static_cast<float>(y0),
                        static_cast<float>(x1 - x0), static_cast<float>(y1 - y0), 0);
}

// Runs of equal tiles along a row, each in one draw, leaving out the cells
// that show `background` (already drawn beneath them).
void draw_row_runs(const WorldGrid *grid, const CameraView &view, int j, ALLEGRO_BITMAP *background,
                   const ScreenBox &clip) {
  const int row = view.rows.first_cell + j;
  const int y = view.rows.origin + CELL_SIZE * j;
  int i = view.drawn_columns.begin;
  while (i < view.drawn_columns.end) {
    ALLEGRO_BITMAP *tile = cell_at(grid, view.columns.first_cell + i, row).tile;
    if (tile == nullptr || tile == background) {
      ++i;
      continue;
    }
    const TileSource source = tile_source(tile);
    int run = 1;
    while (run < source.max_run && i + run < view.drawn_columns.end &&
           cell_at(grid, view.columns.first_cell + i + run, row).tile == tile) {
      ++run;
    }
    draw_run(source, view.columns.origin + CELL_SIZE * i, y, CELL_SIZE * run, clip);
    i += run;
  }
}

}  // namespace

// Fewer, larger quads are what the software rasteriser pays less for.
void draw_cells_in_runs(const WorldGrid *grid, const CameraView &view) {
  const ScreenBox clip = target_clip_box();
  ALLEGRO_BITMAP *backgrounds[WORLD_ROWS];
  for (int j = view.drawn_rows.begin; j < view.drawn_rows.end; ++j) {
    backgrounds[j - view.drawn_rows.begin] = row_background(grid, view, view.rows.first_cell + j);
  }
  const int left = view.columns.origin + CELL_SIZE * view.drawn_columns.begin;
  const int right = view.columns.origin + CELL_SIZE * view.drawn_columns.end;
  int band_start = view.drawn_rows.begin;
  while (band_start < view.drawn_rows.end) {
    ALLEGRO_BITMAP *background = backgrounds[band_start - view.drawn_rows.begin];
    int band_end = band_start + 1;
    while (band_end < view.drawn_rows.end && backgrounds[band_end - view.drawn_rows.begin] == background) ++band_end;
    if (background != nullptr) {
      fill_with_tile(background, left, view.rows.origin + CELL_SIZE * band_start, right,
                     view.rows.origin + CELL_SIZE * band_end, clip);
    }
    for (int j = band_start; j < band_end; ++j) draw_row_runs(grid, view, j, background, clip);
    band_start = band_end;
  }
}

void draw_bitmap_cut(ALLEGRO_BITMAP *bitmap, int source_x, int source_y, int width, int height, int x, int y) {
  draw_cut(bitmap, source_x, source_y, width, height, x, y, target_clip_box());
}

void clear_box_cut(ALLEGRO_COLOR colour, int x, int y, int width, int height) {
  const ScreenBox clip = target_clip_box();
  const int x0 = std::max(x, clip.left), y0 = std::max(y, clip.top);
  const int x1 = std::min(x + width, clip.right), y1 = std::min(y + height, clip.bottom);
  if (x1 <= x0 || y1 <= y0) return;
  // Clearing honours the clipping rectangle.
  al_set_clipping_rectangle(x0, y0, x1 - x0, y1 - y0);
  al_clear_to_color(colour);
  al_set_clipping_rectangle(clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top);
}
