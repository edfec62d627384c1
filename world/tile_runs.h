// Drawing a box of the grid's cells onto the current target, as the camera
// places them: one draw per cell, or merged into runs of equal tiles.
#pragma once

#include <allegro5/color.h>

#include "world/camera.h"
#include "world/world.h"

struct ALLEGRO_BITMAP;

// Every cell the view draws (its drawn spans) in a draw of its own. A cell
// with no tile is skipped and keeps what the target holds.
void draw_cells_one_by_one(const WorldGrid *grid, const CameraView &view);

// The same pixels with far fewer and larger quads: rows that mostly show one
// tile get it stretched beneath them, then each run of equal tiles is drawn
// in one go, all cut to the target's clipping rectangle.
void draw_cells_in_runs(const WorldGrid *grid, const CameraView &view);

// Draws `width` x `height` pixels of `bitmap` from (source_x, source_y) at
// screen (x, y), leaving out what lies outside the target's clipping rectangle.
void draw_bitmap_cut(ALLEGRO_BITMAP *bitmap, int source_x, int source_y, int width, int height, int x, int y);

// Fills the box of `width` x `height` pixels at screen (x, y) with `colour`,
// cut to the target's clipping rectangle, as a clear: far cheaper per pixel
// than a draw for the software rasteriser. Must not run while drawing is held.
void clear_box_cut(ALLEGRO_COLOR colour, int x, int y, int width, int height);
