// The whole world as one picture, one pixel a cell in the colour of its tile,
// kept on the game window: a frame is then one enlarged draw of the part in
// view, and a changed cell is one changed pixel.
#pragma once

#include <allegro5/color.h>

#include "world/world.h"

struct ALLEGRO_BITMAP;
struct ALLEGRO_DISPLAY;

// Cells [first_column, end_column) x [first_row, end_row) of the grid.
struct CellBox {
  int first_column, end_column;
  int first_row, end_row;
};

// The colour of one tile, as the bytes of a pixel in the picture's lock format.
struct TileColour {
  ALLEGRO_BITMAP *tile;
  unsigned char rgba[4];
};

// Long-lived drawing state, owned by the main routine and passed by pointer.
// Zero-initialised it is empty. Nothing outside the drawing reports a change:
// each update compares the grid with what the picture shows.
struct WorldPicture {
  ALLEGRO_DISPLAY *display;  // the window the bitmap was made on
  ALLEGRO_BITMAP *bitmap;    // WORLD_COLUMNS x WORLD_ROWS; null until first needed
  // The tile each pixel shows, in grid order; null shows black.
  ALLEGRO_BITMAP *shown_tiles[WORLD_CELL_COUNT];
  // Each tile's colour (no tile's too), read from the tile itself the first
  // time it is painted.
  TileColour colours[BLOCK_KIND_COUNT + 1];
  int colour_count;
};

// Brings the pixels of `cells` in step with the grid, making the picture
// first (the whole world at once) when there is none for the current window.
// False when the picture cannot be made or written; it is tried again next time.
// Does not change the target bitmap.
bool update_world_picture(WorldPicture *picture, const WorldGrid *grid, CellBox cells);

// The colour `tile` shows in the picture.
ALLEGRO_COLOR picture_colour(WorldPicture *picture, ALLEGRO_BITMAP *tile);

// Destroys the bitmap; the picture is empty again.
void release_world_picture(WorldPicture *picture);
