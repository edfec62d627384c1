// One frame of the world: black clear, the tiles the camera shows, the player.
#include "world/draw_world.h"

#include <allegro5/allegro.h>

#include "world/camera.h"

namespace {

// How many equal tiles a single draw may cover: a tile cut from the left end
// of a wider strip of its colour can be drawn n at a time as one region of
// the strip, pixel for pixel the same as n draws of the tile (unscaled, at
// whole pixels). A tile of its own covers one cell.
struct TileSource {
  ALLEGRO_BITMAP *bitmap;  // the strip, or the tile itself
  int source_x;
  int source_y;
  int max_run;
};

TileSource tile_source(ALLEGRO_BITMAP *tile, bool merge_runs) {
  ALLEGRO_BITMAP *strip = merge_runs ? al_get_parent_bitmap(tile) : nullptr;
  if (strip == nullptr) return {tile, 0, 0, 1};
  const int x = al_get_bitmap_x(tile);
  const int y = al_get_bitmap_y(tile);
  const int run = (al_get_bitmap_width(strip) - x) / CELL_SIZE;
  return {strip, x, y, run > 1 ? run : 1};
}

void draw_frame(const WorldGrid *grid, const GameState &state, bool merge_runs) {
  al_clear_to_color(al_map_rgb(0, 0, 0));
  const CameraView view = place_camera(state.player_x, state.player_y, state.screen_width, state.screen_height);

  for (int j = view.drawn_rows.begin; j < view.drawn_rows.end; ++j) {
    const int row = view.rows.first_cell + j;
    const float y = static_cast<float>(view.rows.origin + CELL_SIZE * j);
    int i = view.drawn_columns.begin;
    while (i < view.drawn_columns.end) {
      ALLEGRO_BITMAP *tile = cell_at(grid, view.columns.first_cell + i, row).tile;
      const float x = static_cast<float>(view.columns.origin + CELL_SIZE * i);
      if (tile == nullptr) {  // a cell no kind was ever copied over: leave it black
        ++i;
        continue;
      }
      const TileSource source = tile_source(tile, merge_runs);
      int run = 1;
      while (run < source.max_run && i + run < view.drawn_columns.end &&
             cell_at(grid, view.columns.first_cell + i + run, row).tile == tile) {
        ++run;
      }
      if (source.bitmap == tile) {
        al_draw_bitmap(tile, x, y, 0);
      } else {
        al_draw_bitmap_region(source.bitmap, static_cast<float>(source.source_x),
                              static_cast<float>(source.source_y), static_cast<float>(CELL_SIZE * run),
                              static_cast<float>(CELL_SIZE), x, y, 0);
      }
      i += run;
    }
  }

  // After the tiles, so the player is always on top.
  if (state.player_bitmap != nullptr) {
    al_draw_bitmap(state.player_bitmap, static_cast<float>(view.columns.player_screen),
                   static_cast<float>(view.rows.player_screen), 0);
  }
}

}  // namespace

void draw_world(const WorldGrid *grid, GameState state) { draw_frame(grid, state, true); }

void draw_world_cell_by_cell(const WorldGrid *grid, GameState state) { draw_frame(grid, state, false); }
