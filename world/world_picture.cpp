// Keeping the world's picture in step with the grid.
#include "world/world_picture.h"

#include <allegro5/allegro.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>

namespace {

// Four bytes a pixel in memory order red, green, blue, alpha: OpenGL takes
// it as it is, so unlocking uploads without converting.
constexpr int LOCK_FORMAT = ALLEGRO_PIXEL_FORMAT_ABGR_8888_LE;

TileColour read_colour(ALLEGRO_BITMAP *tile) {
  TileColour colour{tile, {0, 0, 0, 255}};  // no tile: black
  if (tile != nullptr) {
    al_unmap_rgba(al_get_pixel(tile, 0, 0), &colour.rgba[0], &colour.rgba[1], &colour.rgba[2], &colour.rgba[3]);
  }
  return colour;
}

// Every tile is one colour throughout; reading it back from a tile on the
// window is slow, so each is read once.
TileColour colour_of(WorldPicture *picture, ALLEGRO_BITMAP *tile) {
  for (int k = 0; k < picture->colour_count; ++k) {
    if (picture->colours[k].tile == tile) return picture->colours[k];
  }
  const TileColour colour = read_colour(tile);
  if (picture->colour_count < static_cast<int>(std::size(picture->colours)))
    picture->colours[picture->colour_count++] = colour;
  return colour;
}

// Writes every pixel of `cells` from the grid in one lock and notes what it shows.
bool paint_cells(WorldPicture *picture, const WorldGrid *grid, CellBox cells) {
  ALLEGRO_LOCKED_REGION *locked =
      al_lock_bitmap_region(picture->bitmap, cells.first_column, cells.first_row, cells.end_column - cells.first_column,
                            cells.end_row - cells.first_row, LOCK_FORMAT, ALLEGRO_LOCK_WRITEONLY);
  if (locked == nullptr) return false;
  TileColour colour = colour_of(picture, nullptr);
  // Column by column, as the grid lies in memory.
  for (int c = cells.first_column; c < cells.end_column; ++c) {
    for (int r = cells.first_row; r < cells.end_row; ++r) {
      ALLEGRO_BITMAP *tile = cell_at(grid, c, r).tile;
      if (tile != colour.tile) colour = colour_of(picture, tile);
      const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(r - cells.first_row) * locked->pitch +
                                    static_cast<std::ptrdiff_t>(c - cells.first_column) * 4;
      std::memcpy(static_cast<unsigned char *>(locked->data) + offset, colour.rgba, 4);
      picture->shown_tiles[cell_index(c, r)] = tile;
    }
  }
  al_unlock_bitmap(picture->bitmap);
  return true;
}

}  // namespace

bool update_world_picture(WorldPicture *picture, const WorldGrid *grid, CellBox cells) {
  // A bitmap made on another window would be drawn from memory, slowly.
  if (picture->bitmap == nullptr || picture->display != al_get_current_display()) {
    release_world_picture(picture);
    picture->bitmap = al_create_bitmap(WORLD_COLUMNS, WORLD_ROWS);
    if (picture->bitmap == nullptr) return false;
    picture->display = al_get_current_display();
    if (paint_cells(picture, grid, {0, WORLD_COLUMNS, 0, WORLD_ROWS})) return true;
    release_world_picture(picture);
    return false;
  }
  // The box around every changed cell is painted again in one lock: one
  // pixel after a dig, the whole view after a load.
  CellBox changed{cells.end_column, cells.first_column, cells.end_row, cells.first_row};
  for (int c = cells.first_column; c < cells.end_column; ++c) {
    for (int r = cells.first_row; r < cells.end_row; ++r) {
      if (cell_at(grid, c, r).tile == picture->shown_tiles[cell_index(c, r)]) continue;
      changed = {std::min(changed.first_column, c), std::max(changed.end_column, c + 1), std::min(changed.first_row, r),
                 std::max(changed.end_row, r + 1)};
    }
  }
  if (changed.end_column <= changed.first_column) return true;
  return paint_cells(picture, grid, changed);
}

ALLEGRO_COLOR picture_colour(WorldPicture *picture, ALLEGRO_BITMAP *tile) {
  const TileColour colour = colour_of(picture, tile);
  return al_map_rgba(colour.rgba[0], colour.rgba[1], colour.rgba[2], colour.rgba[3]);
}

void release_world_picture(WorldPicture *picture) {
  if (picture->bitmap != nullptr) al_destroy_bitmap(picture->bitmap);
  picture->bitmap = nullptr;
  picture->display = nullptr;
  // The tiles may be gone with the window: read their colours again.
  picture->colour_count = 0;
}
