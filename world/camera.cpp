// The camera that follows the player and stops at the world's edges.
#include "world/camera.h"

#include <algorithm>

#include "world/world.h"

namespace {

// Screen rows at the bottom of the display left to the heads-up display.
constexpr int HUD_ROWS = 5;
// Display sizes are taken as at most this, so that screen positions stay
// far inside int whatever a record holds.
constexpr int LARGEST_SCREEN_SIDE = 100000;

// The left edge shows column 0 on; the right edge test adds 10 beyond the
// player's half screen, a quirk players know: the camera lets go one cell early.
CameraAxis place_columns(float px, int width) {
  const int half = width / 2;
  const double x = px;
  if (x - half < 0) return {width / CELL_SIZE, 0, 0, whole_part(x)};
  if (x + half + 10 > WORLD_WIDTH) {
    return {width / CELL_SIZE, WORLD_COLUMNS - width / CELL_SIZE, 0, whole_part(x - WORLD_WIDTH + width)};
  }
  // Centred: one column more, shifted left by the player's pixel within its cell.
  return {width / CELL_SIZE + 1, whole_part((x - half) / CELL_SIZE), -(whole_part(x) % CELL_SIZE), half};
}

// Unlike the right edge, the bottom-edge test adds nothing and counts one
// row fewer than the top edge; both are kept as players know them.
CameraAxis place_rows(float py, int height) {
  const int half = height / 2;
  const double y = py;
  if (y - half < 0) return {height / CELL_SIZE, 0, 0, whole_part(y)};
  if (y + half > WORLD_HEIGHT) {
    return {height / CELL_SIZE - 1, WORLD_ROWS - height / CELL_SIZE, 0, whole_part(y - WORLD_HEIGHT + height)};
  }
  const int top = whole_part(y);
  return {height / CELL_SIZE + 1, top / CELL_SIZE - (height / CELL_SIZE) / 2, -(top % CELL_SIZE), half};
}

// Screen indices below `shown` whose cell first_cell + k lies in [0, cell_limit).
CameraSpan span_in_grid(const CameraAxis &axis, int shown, int cell_limit) {
  const long long begin = std::max(0LL, -static_cast<long long>(axis.first_cell));
  const long long end = std::min(static_cast<long long>(shown), static_cast<long long>(cell_limit) - axis.first_cell);
  if (end <= begin) return {0, 0};
  return {static_cast<int>(begin), static_cast<int>(end)};
}

}  // namespace

CameraView place_camera(float player_x, float player_y, int screen_width, int screen_height) {
  CameraView view{};
  view.columns = place_columns(player_x, std::clamp(screen_width, 0, LARGEST_SCREEN_SIDE));
  view.rows = place_rows(player_y, std::clamp(screen_height, 0, LARGEST_SCREEN_SIDE));
  view.drawn_columns = span_in_grid(view.columns, view.columns.count, WORLD_COLUMNS);
  // The floor row is never drawn.
  view.drawn_rows = span_in_grid(view.rows, view.rows.count - HUD_ROWS, WORLD_ROWS - 1);
  return view;
}
