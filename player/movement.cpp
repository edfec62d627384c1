// Movement and collision: one fixed step of the player per timer tick.
#include "player/movement.h"

#include <allegro5/keycodes.h>

#include "player/grid_lookup.h"

namespace {

constexpr double WALK_STEP = 2.5;
constexpr double RISE_STEP = 5.0;
constexpr double FALL_STEP = 2.5;
constexpr std::int32_t JUMP_TICKS = 10;
constexpr double PLAYER_WIDTH = 10.0;
constexpr double RIGHT_LIMIT = 7190.0;  // a step right must end left of this x
constexpr double FLOOR_Y = 4720.0;      // the box resting on the world's bottom edge

// Positions are compared exactly in double and stored back as float; every
// sum that occurs on the 2.5-pixel lattice inside the world is exact.
float moved(float position, double step) { return static_cast<float>(static_cast<double>(position) + step); }

// True when the cell is passable or starts at or right of `right_edge`, that
// is when the player's box does not reach into its column.
bool clear_of(const Block &cell, double right_edge) {
  return is_passable(cell) || static_cast<double>(cell.x) >= right_edge;
}

// The tick counters run for the whole session and wrap after about 414 days
// at 60 ticks a second; they are added and compared modulo 2^32 so that
// play goes on unchanged across the wrap.
std::int32_t ticks_after(std::int32_t tick, std::int32_t ticks) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(tick) + static_cast<std::uint32_t>(ticks));
}
std::int32_t ticks_from(std::int32_t from, std::int32_t to) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(to) - static_cast<std::uint32_t>(from));
}

}  // namespace

bool can_move_left(Block lower, Block upper, float x) {
  // The left edge of the world. Only a record read from a file can hold a
  // negative x; refusing there too keeps such a player from wandering further out.
  if (static_cast<double>(x) <= 0.0) return false;
  if (is_passable(lower) && is_passable(upper)) return true;
  // A solid cell stops the player only once the box is flush with its column.
  if (static_cast<double>(x) == static_cast<double>(lower.x) + PLAYER_WIDTH) return false;
  if (static_cast<double>(x) == static_cast<double>(upper.x) + PLAYER_WIDTH) return false;
  return true;
}

GameState handle_tick(GameState state, const WorldGrid *grid, std::int32_t *tick_count, std::int32_t *jump_end_tick) {
  // Every lookup of this tick uses the cell of the position at its start.
  const int c = cell_of_pixel(state.player_x);
  const int r = cell_of_pixel(state.player_y);

  // Once a jump is over only "it has ended" matters: keep its end tick just
  // behind the count so that the difference of the two never wraps.
  if (ticks_from(*tick_count, *jump_end_tick) < -1) *jump_end_tick = ticks_after(*tick_count, -1);

  if (key_held(state, ALLEGRO_KEY_UP)) {
    // The head test looks at the row holding the box's top edge, so a player
    // flush under a ceiling still rises 5 pixels into it.
    const bool head_clear =
        is_passable(cell_or_border(grid, c, r)) &&
        clear_of(cell_or_border(grid, c + 1, r), static_cast<double>(state.player_x) + PLAYER_WIDTH);
    if (head_clear) {
      if (ticks_from(*tick_count, *jump_end_tick) < 0 && state.on_ground != 0) {
        *jump_end_tick = ticks_after(*tick_count, JUMP_TICKS);
        state.on_ground = 0;
      }
      if (ticks_from(*tick_count, *jump_end_tick) > 0) state.player_y = moved(state.player_y, -RISE_STEP);
    }
  }

  if (key_held(state, ALLEGRO_KEY_LEFT) &&
      can_move_left(cell_or_border(grid, c - 1, r + 1), cell_or_border(grid, c - 1, r), state.player_x)) {
    state.player_x = moved(state.player_x, -WALK_STEP);
  }

  if (key_held(state, ALLEGRO_KEY_RIGHT)) {
    const float next_x = moved(state.player_x, WALK_STEP);
    const double next_right_edge = static_cast<double>(next_x) + PLAYER_WIDTH;
    if (static_cast<double>(next_x) < RIGHT_LIMIT) {
      const Block upper = cell_or_border(grid, c + 1, r);
      const Block lower = cell_or_border(grid, c + 1, r + 1);
      const bool both_free = is_passable(upper) && is_passable(lower);
      // A solid cell refuses any step whose box would reach into its column.
      const bool blocked = !both_free && (static_cast<double>(lower.x) < next_right_edge ||
                                          static_cast<double>(upper.x) < next_right_edge);
      if (!blocked) state.player_x = next_x;
    }
  }

  // Support comes from row r + 2 of the start position, so a player can come
  // to rest reaching up to 7.5 pixels into a solid row beside a ledge.
  bool supported = static_cast<double>(state.player_y) >= FLOOR_Y;
  if (!supported && !is_passable(cell_or_border(grid, c, r + 2))) supported = true;
  if (!supported) {
    const Block right_below = cell_or_border(grid, c + 1, r + 2);
    supported = !clear_of(right_below, static_cast<double>(state.player_x) + PLAYER_WIDTH);
  }
  if (supported) {
    state.on_ground = 1;
  } else {
    state.player_y = moved(state.player_y, FALL_STEP);
  }

  *tick_count = ticks_after(*tick_count, 1);
  return state;
}
