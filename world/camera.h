// Where the camera puts the world on the screen: which world columns and rows
// show at which screen x and y, and where the player lands. Pure arithmetic.
#pragma once

// One axis of the camera. Screen column (or row) k, for 0 <= k < count, shows
// world column (row) first_cell + k with its left (top) edge at screen
// origin + 10k.
struct CameraAxis {
  int count;          // columns (rows) the placement counts
  int first_cell;     // world column (row) at screen column (row) 0
  int origin;         // screen x (y) of screen column (row) 0: 0, or minus the player's pixel within its cell
  int player_screen;  // screen x (y) of the player's top-left corner
};

// The screen indices [begin, end) of an axis that get tiles: those the
// placement draws whose world column (row) lies in the grid.
struct CameraSpan {
  int begin;
  int end;
};

struct CameraView {
  CameraAxis columns;
  CameraAxis rows;
  CameraSpan drawn_columns;
  CameraSpan drawn_rows;  // the bottom five screen rows never get tiles, nor does the floor row 479
};

// The placement for a player at world pixel (player_x, player_y) on a display
// of screen_width x screen_height. The camera keeps the player centred and
// stops at the world's edges. Any input is safe: the drawn spans never name a
// cell outside the grid (sizes below 0 count as 0, above 100,000 as 100,000).
CameraView place_camera(float player_x, float player_y, int screen_width, int screen_height);
