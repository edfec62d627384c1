// One frame of the world: black clear, the tiles the camera shows, the player.
#include "world/draw_world.h"

#include <allegro5/allegro.h>

#include "world/camera.h"
#include "world/tile_runs.h"

namespace {

enum CellDrawing { FROM_REGIONS, IN_RUNS, ONE_BY_ONE };

// The cells the view gives tiles to.
CellBox shown_cells(const CameraView &view) {
  return {view.columns.first_cell + view.drawn_columns.begin, view.columns.first_cell + view.drawn_columns.end,
          view.rows.first_cell + view.drawn_rows.begin, view.rows.first_cell + view.drawn_rows.end};
}

// Clears the target to black but for the screen box [left, right) x [top,
// bottom), which the tiles cover: clearing every pixel twice costs
// milliseconds at full screen.
void clear_around(int left, int top, int right, int bottom) {
  const ALLEGRO_COLOR black = al_map_rgb(0, 0, 0);
  if (right <= left || bottom <= top) {
    al_clear_to_color(black);
    return;
  }
  int x = 0, y = 0, w = 0, h = 0;
  al_get_clipping_rectangle(&x, &y, &w, &h);
  clear_box_cut(black, x, y, w, top - y);                         // above
  clear_box_cut(black, x, bottom, w, y + h - bottom);             // below
  clear_box_cut(black, x, top, left - x, bottom - top);           // left
  clear_box_cut(black, right, top, x + w - right, bottom - top);  // right
}

// Regions are brought up to date in their own bitmaps, then cleared and
// copied onto the frame: a few dozen large operations that need no batching,
// and neither changing the target nor clearing may happen while drawing is held.
void draw_from_regions(RegionCache *cache, const WorldGrid *grid, const CameraView &view) {
  ALLEGRO_BITMAP *target = al_get_target_bitmap();
  const bool held = al_is_bitmap_drawing_held();
  if (held) al_hold_bitmap_drawing(false);
  const CellBox shown = shown_cells(view);
  refresh_regions(cache, grid, shown);
  al_set_target_bitmap(target);
  const int shift_x = view.columns.origin - CELL_SIZE * view.columns.first_cell;
  const int shift_y = view.rows.origin - CELL_SIZE * view.rows.first_cell;
  clear_around(CELL_SIZE * shown.first_column + shift_x, CELL_SIZE * shown.first_row + shift_y,
               CELL_SIZE * shown.end_column + shift_x, CELL_SIZE * shown.end_row + shift_y);
  // The regions are opaque: copying without blending gives the same pixels
  // and spares the rasteriser reading the frame back.
  int op = 0, source = 0, destination = 0;
  al_get_blender(&op, &source, &destination);
  al_set_blender(ALLEGRO_ADD, ALLEGRO_ONE, ALLEGRO_ZERO);
  draw_regions(cache, grid, shown, shift_x, shift_y);
  al_set_blender(op, source, destination);
  if (held) al_hold_bitmap_drawing(true);
}

void draw_frame(RegionCache *cache, const WorldGrid *grid, const GameState &state, CellDrawing drawing) {
  const CameraView view = place_camera(state.player_x, state.player_y, state.screen_width, state.screen_height);
  switch (drawing) {
    case FROM_REGIONS:
      draw_from_regions(cache, grid, view);
      break;
    case IN_RUNS:
      al_clear_to_color(al_map_rgb(0, 0, 0));
      draw_cells_in_runs(grid, view);
      break;
    case ONE_BY_ONE:
      al_clear_to_color(al_map_rgb(0, 0, 0));
      draw_cells_one_by_one(grid, view);
      break;
  }
  // After the tiles, so the player is always on top.
  if (state.player_bitmap != nullptr) {
    al_draw_bitmap(state.player_bitmap, static_cast<float>(view.columns.player_screen),
                   static_cast<float>(view.rows.player_screen), 0);
  }
}

}  // namespace

void draw_world(RegionCache *cache, const WorldGrid *grid, GameState state) {
  draw_frame(cache, grid, state, FROM_REGIONS);
}

void draw_world_in_runs(const WorldGrid *grid, GameState state) { draw_frame(nullptr, grid, state, IN_RUNS); }

void draw_world_cell_by_cell(const WorldGrid *grid, GameState state) { draw_frame(nullptr, grid, state, ONE_BY_ONE); }
