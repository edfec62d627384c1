// The one record of everything the game changes apart from the world grid.
#pragma once

#include <cstdint>

struct ALLEGRO_BITMAP;

// Allegro's key codes run from 0 to ALLEGRO_KEY_MAX - 1 (227 in the 5.x
// series); the record keeps one held-flag per code so that its stored form
// never depends on the library build. A static_assert in game_state.cpp
// checks the number against the installed headers.
constexpr int KEY_SLOT_COUNT = 227;

// Flags are bytes, not bool: a record read from a save file may hold any
// byte value there, and any non-zero byte means "set".
using Flag = std::uint8_t;

struct GameState {
  float player_x;  // left edge of the player's box, world pixels
  float player_y;  // top edge of the player's box, world pixels (y grows down)
  std::int32_t dirt_count;
  std::int32_t grass_count;
  std::int32_t stone_count;
  std::int32_t gold_count;
  ALLEGRO_BITMAP *player_bitmap;  // valid only in the running process
  Flag on_ground;                 // the player may start a jump
  std::int32_t selected_block;    // 1 Dirt, 2 Grass, 3 Stone, 4 Gold
  Flag keys[KEY_SLOT_COUNT];      // held keys, indexed by Allegro key code
  std::int32_t screen_width;
  std::int32_t screen_height;
  Flag load_saved_world;     // the start menu chose Load World
  std::int32_t load_failed;  // 1 when the last load found no usable save
};

// Start values of a new game (player bitmap still unset, default 1440 x 900).
GameState start_game_state();

// True when the held-flag of `keycode` is set; codes outside the table are never held.
bool key_held(const GameState &state, int keycode);

// True when frames of `a` and of `b` over the same grid are the same picture:
// the player's place (and so the camera), the HUD's figures and the window agree.
bool same_picture(const GameState &a, const GameState &b);
