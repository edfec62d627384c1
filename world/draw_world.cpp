// One frame of the world: black clear, the cells the camera shows, the player.
#include "world/draw_world.h"

#include <allegro5/allegro.h>

#include <algorithm>

#include "world/camera.h"

namespace {

// The cells the view gives tiles to.
CellBox shown_cells(const CameraView &view) {
  return {view.columns.first_cell + view.drawn_columns.begin, view.columns.first_cell + view.drawn_columns.end,
          view.rows.first_cell + view.drawn_rows.begin, view.rows.first_cell + view.drawn_rows.end};
}

// Fills a screen box with a colour, cut to the target's clipping rectangle.
// A clear costs the software rasteriser a fraction of a textured draw.
void fill_box(ALLEGRO_COLOR colour, int left, int top, int right, int bottom) {
  int x = 0, y = 0, w = 0, h = 0;
  al_get_clipping_rectangle(&x, &y, &w, &h);
  const int cut_left = std::max(left, x), cut_top = std::max(top, y);
  const int cut_right = std::min(right, x + w), cut_bottom = std::min(bottom, y + h);
  if (cut_right <= cut_left || cut_bottom <= cut_top) return;
  al_set_clipping_rectangle(cut_left, cut_top, cut_right - cut_left, cut_bottom - cut_top);
  al_clear_to_color(colour);
  al_set_clipping_rectangle(x, y, w, h);
}

// Clears the target to black but for the screen box the cells cover:
// clearing every pixel twice costs milliseconds at full screen.
void clear_around(int left, int top, int right, int bottom) {
  const ALLEGRO_COLOR black = al_map_rgb(0, 0, 0);
  int x = 0, y = 0, w = 0, h = 0;
  al_get_clipping_rectangle(&x, &y, &w, &h);
  fill_box(black, x, y, x + w, top);           // above
  fill_box(black, x, bottom, x + w, y + h);    // below
  fill_box(black, x, top, left, bottom);       // left
  fill_box(black, right, top, x + w, bottom);  // right
}

// The rows at the top of `cells` in which every cell shows one tile, the
// sky mostly: filled, they cost the rasteriser about what a clear costs.
int one_tile_rows_on_top(const WorldGrid *grid, CellBox cells) {
  ALLEGRO_BITMAP *tile = cell_at(grid, cells.first_column, cells.first_row).tile;
  int rows = cells.end_row - cells.first_row;
  for (int c = cells.first_column; c < cells.end_column && rows > 0; ++c) {
    int r = 0;
    while (r < rows && cell_at(grid, c, cells.first_row + r).tile == tile) ++r;
    rows = r;
  }
  return rows;
}

// The cells ten times enlarged from the picture, whose pixels are the cells'
// colours: with nearest sampling at exactly ten times, each pixel becomes a
// 10 x 10 square, as a tile would.
bool draw_from_picture(WorldPicture *picture, const WorldGrid *grid, const CameraView &view) {
  const CellBox cells = shown_cells(view);
  const int columns = cells.end_column - cells.first_column, rows = cells.end_row - cells.first_row;
  if (columns <= 0 || rows <= 0) {
    al_clear_to_color(al_map_rgb(0, 0, 0));
    return true;
  }
  if (!update_world_picture(picture, grid, cells)) return false;
  const int left = view.columns.origin + CELL_SIZE * view.drawn_columns.begin;
  const int top = view.rows.origin + CELL_SIZE * view.drawn_rows.begin;
  const int right = left + CELL_SIZE * columns, bottom = top + CELL_SIZE * rows;
  clear_around(left, top, right, bottom);
  const int band = one_tile_rows_on_top(grid, cells);
  const int band_bottom = top + CELL_SIZE * band;
  fill_box(picture_colour(picture, cell_at(grid, cells.first_column, cells.first_row).tile), left, top, right,
           band_bottom);
  if (band == rows) return true;
  // The picture is opaque: without blending the rasteriser need not read the frame back.
  int op = 0, source = 0, destination = 0;
  al_get_blender(&op, &source, &destination);
  al_set_blender(ALLEGRO_ADD, ALLEGRO_ONE, ALLEGRO_ZERO);
  al_draw_scaled_bitmap(picture->bitmap, static_cast<float>(cells.first_column),
                        static_cast<float>(cells.first_row + band), static_cast<float>(columns),
                        static_cast<float>(rows - band), static_cast<float>(left), static_cast<float>(band_bottom),
                        static_cast<float>(right - left), static_cast<float>(bottom - band_bottom), 0);
  al_set_blender(op, source, destination);
  return true;
}

// Every visible cell in a draw of its own onto a black frame; a cell with no
// tile stays black.
void draw_cells_one_by_one(const WorldGrid *grid, const CameraView &view) {
  for (int j = view.drawn_rows.begin; j < view.drawn_rows.end; ++j) {
    for (int i = view.drawn_columns.begin; i < view.drawn_columns.end; ++i) {
      ALLEGRO_BITMAP *tile = cell_at(grid, view.columns.first_cell + i, view.rows.first_cell + j).tile;
      if (tile == nullptr) continue;
      al_draw_bitmap(tile, static_cast<float>(view.columns.origin + CELL_SIZE * i),
                     static_cast<float>(view.rows.origin + CELL_SIZE * j), 0);
    }
  }
}

// After the cells, so the player is always on top.
void draw_player(const GameState &state, const CameraView &view) {
  if (state.player_bitmap == nullptr) return;
  al_draw_bitmap(state.player_bitmap, static_cast<float>(view.columns.player_screen),
                 static_cast<float>(view.rows.player_screen), 0);
}

}  // namespace

void draw_world(WorldPicture *picture, const WorldGrid *grid, GameState state) {
  const CameraView view = place_camera(state.player_x, state.player_y, state.screen_width, state.screen_height);
  // Locking the picture and clearing boxes may not happen while drawing is held.
  const bool held = al_is_bitmap_drawing_held();
  if (held) al_hold_bitmap_drawing(false);
  if (!draw_from_picture(picture, grid, view)) {
    // No picture (out of texture memory): the cells straight from the grid.
    al_clear_to_color(al_map_rgb(0, 0, 0));
    al_hold_bitmap_drawing(true);
    draw_cells_one_by_one(grid, view);
    al_hold_bitmap_drawing(false);
  }
  if (held) al_hold_bitmap_drawing(true);
  draw_player(state, view);
}

void draw_world_cell_by_cell(const WorldGrid *grid, GameState state) {
  const CameraView view = place_camera(state.player_x, state.player_y, state.screen_width, state.screen_height);
  al_clear_to_color(al_map_rgb(0, 0, 0));
  draw_cells_one_by_one(grid, view);
  draw_player(state, view);
}
