// Keyboard input: held-key flags and the kind selected for placing.
#include "player/keyboard.h"

namespace {

// Each letter of the left-hand layout shares its arrow key's flag, so that a
// release of either key of a pair stops the movement.
struct KeyPair {
  int arrow;
  int letter;
};
constexpr KeyPair KEY_PAIRS[] = {
    {ALLEGRO_KEY_UP, ALLEGRO_KEY_W},
    {ALLEGRO_KEY_DOWN, ALLEGRO_KEY_S},
    {ALLEGRO_KEY_LEFT, ALLEGRO_KEY_A},
    {ALLEGRO_KEY_RIGHT, ALLEGRO_KEY_D},
};

}  // namespace

GameState handle_key_event(ALLEGRO_EVENT event, GameState state) {
  Flag value = 0;
  if (event.type == ALLEGRO_EVENT_KEY_DOWN) {
    value = 1;
  } else if (event.type != ALLEGRO_EVENT_KEY_UP) {
    return state;
  }

  const int keycode = event.keyboard.keycode;
  for (const KeyPair &pair : KEY_PAIRS) {
    if (keycode == pair.arrow || keycode == pair.letter) state.keys[pair.arrow] = value;
  }

  // The top-row digits 1 to 4 pick Dirt, Grass, Stone, Gold; the keypad's do not.
  if (value == 1 && keycode >= ALLEGRO_KEY_1 && keycode <= ALLEGRO_KEY_4) {
    state.selected_block = keycode - ALLEGRO_KEY_1 + 1;
  }
  return state;
}
