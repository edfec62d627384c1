#include "state/game_state.h"

#include <allegro5/allegro.h>

static_assert(KEY_SLOT_COUNT == ALLEGRO_KEY_MAX, "the stored key table has one slot per Allegro key code");

GameState start_game_state() {
  GameState state{};
  state.player_x = 30.0f;
  state.player_y = 800.0f;
  state.on_ground = 0;
  state.selected_block = 1;
  state.screen_width = 1440;
  state.screen_height = 900;
  return state;
}

bool key_held(const GameState &state, int keycode) {
  return keycode >= 0 && keycode < KEY_SLOT_COUNT && state.keys[keycode] != 0;
}

bool same_picture(const GameState &a, const GameState &b) {
  return a.player_x == b.player_x && a.player_y == b.player_y && a.dirt_count == b.dirt_count &&
         a.grass_count == b.grass_count && a.stone_count == b.stone_count && a.gold_count == b.gold_count &&
         a.selected_block == b.selected_block && a.player_bitmap == b.player_bitmap &&
         a.screen_width == b.screen_width && a.screen_height == b.screen_height;
}
