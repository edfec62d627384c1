#include "player/keyboard.h"

#include <allegro5/allegro.h>
#include <gtest/gtest.h>

#include <cstring>

#include "state/game_state.h"

namespace {

ALLEGRO_EVENT key_event(ALLEGRO_EVENT_TYPE type, int keycode) {
  ALLEGRO_EVENT event{};
  event.type = type;
  event.keyboard.type = type;
  event.keyboard.keycode = keycode;
  return event;
}

GameState press(GameState state, int keycode) {
  return handle_key_event(key_event(ALLEGRO_EVENT_KEY_DOWN, keycode), state);
}
GameState release(GameState state, int keycode) {
  return handle_key_event(key_event(ALLEGRO_EVENT_KEY_UP, keycode), state);
}

// Field by field: the padding bytes of a copied record are not part of it.
bool same_record(const GameState &a, const GameState &b) {
  return a.player_x == b.player_x && a.player_y == b.player_y && a.dirt_count == b.dirt_count &&
         a.grass_count == b.grass_count && a.stone_count == b.stone_count && a.gold_count == b.gold_count &&
         a.player_bitmap == b.player_bitmap && a.on_ground == b.on_ground && a.selected_block == b.selected_block &&
         std::memcmp(a.keys, b.keys, sizeof a.keys) == 0 && a.screen_width == b.screen_width &&
         a.screen_height == b.screen_height && a.load_saved_world == b.load_saved_world &&
         a.load_failed == b.load_failed;
}

TEST(KeyboardInput, LettersWriteTheArrowKeysFlagsAndEitherKeyOfAPairReleasesIt) {
  const struct {
    int arrow, letter;
  } pairs[] = {{ALLEGRO_KEY_UP, ALLEGRO_KEY_W},
               {ALLEGRO_KEY_DOWN, ALLEGRO_KEY_S},
               {ALLEGRO_KEY_LEFT, ALLEGRO_KEY_A},
               {ALLEGRO_KEY_RIGHT, ALLEGRO_KEY_D}};
  for (const auto &pair : pairs) {
    SCOPED_TRACE(pair.arrow);
    GameState state = press(start_game_state(), pair.letter);
    EXPECT_TRUE(key_held(state, pair.arrow));
    EXPECT_FALSE(key_held(state, pair.letter));

    // Both keys down, one let go: the movement stops although the other is held.
    state = press(state, pair.arrow);
    EXPECT_TRUE(key_held(state, pair.arrow));
    EXPECT_FALSE(key_held(release(state, pair.letter), pair.arrow));
    EXPECT_FALSE(key_held(release(state, pair.arrow), pair.arrow));
  }
}

TEST(KeyboardInput, OnlyTheFourArrowSlotsAreEverWritten) {
  // Every code pressed, then every code released: nothing outside 82-85 moves.
  GameState state = start_game_state();
  for (int code = 0; code < ALLEGRO_KEY_MAX; ++code) state = press(state, code);
  for (int code = 0; code < KEY_SLOT_COUNT; ++code) {
    const bool arrow = code >= ALLEGRO_KEY_LEFT && code <= ALLEGRO_KEY_DOWN;
    EXPECT_EQ(state.keys[code], arrow ? 1 : 0) << "slot " << code;
  }
  for (int code = 0; code < ALLEGRO_KEY_MAX; ++code) state = release(state, code);
  for (int code = 0; code < KEY_SLOT_COUNT; ++code) EXPECT_EQ(state.keys[code], 0) << "slot " << code;
}

TEST(KeyboardInput, TopRowDigitsOneToFourSelectOnPressOnly) {
  GameState state = start_game_state();
  state = press(state, ALLEGRO_KEY_3);
  EXPECT_EQ(state.selected_block, 3);
  state = press(state, ALLEGRO_KEY_4);
  EXPECT_EQ(state.selected_block, 4);
  state = press(state, ALLEGRO_KEY_2);
  EXPECT_EQ(state.selected_block, 2);
  state = press(state, ALLEGRO_KEY_1);
  EXPECT_EQ(state.selected_block, 1);

  // Releasing a digit changes nothing, even one other than the selected kind.
  state = press(state, ALLEGRO_KEY_2);
  EXPECT_TRUE(same_record(release(state, ALLEGRO_KEY_4), state));
  EXPECT_TRUE(same_record(release(state, ALLEGRO_KEY_2), state));

  // Keypad digits and the digits 0 and 5 to 9 select nothing.
  const int ignored[] = {ALLEGRO_KEY_0,     ALLEGRO_KEY_5,     ALLEGRO_KEY_6,     ALLEGRO_KEY_7,
                         ALLEGRO_KEY_8,     ALLEGRO_KEY_9,     ALLEGRO_KEY_PAD_0, ALLEGRO_KEY_PAD_1,
                         ALLEGRO_KEY_PAD_2, ALLEGRO_KEY_PAD_3, ALLEGRO_KEY_PAD_4, ALLEGRO_KEY_PAD_9};
  for (int code : ignored) {
    EXPECT_TRUE(same_record(press(state, code), state)) << "key " << code;
    EXPECT_TRUE(same_record(release(state, code), state)) << "key " << code;
  }
}

TEST(KeyboardInput, OtherEventsLeaveTheRecordUnchanged) {
  GameState state = start_game_state();
  state.keys[ALLEGRO_KEY_LEFT] = 1;
  state.selected_block = 3;
  // A key-repeat event, a timer tick and a mouse click whose union bytes would
  // read as a selection key or an arrow if taken for a keyboard event.
  ALLEGRO_EVENT_TYPE others[] = {ALLEGRO_EVENT_KEY_CHAR, ALLEGRO_EVENT_TIMER, ALLEGRO_EVENT_MOUSE_BUTTON_DOWN,
                                 ALLEGRO_EVENT_DISPLAY_CLOSE};
  for (ALLEGRO_EVENT_TYPE type : others) {
    ALLEGRO_EVENT event = key_event(type, ALLEGRO_KEY_1);
    EXPECT_TRUE(same_record(handle_key_event(event, state), state)) << "event type " << type;
    event = key_event(type, ALLEGRO_KEY_LEFT);
    EXPECT_TRUE(same_record(handle_key_event(event, state), state)) << "event type " << type;
  }
}

}  // namespace
