// The HUD drawn into memory bitmaps of the window's size and read back.
#include "hud/hud.h"

#include <allegro5/allegro.h>
#include <allegro5/allegro_font.h>
#include <allegro5/allegro_ttf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "state/game_state.h"
#include "world/world.h"
#include "world_test_support.h"

namespace {

// Neither black, white, grey nor any tile colour, so every pixel the HUD
// covers can be told from the ones it leaves alone.
const Rgb BACKGROUND{20, 20, 80};
const Rgb BLACK{0, 0, 0};
const Rgb GREY{165, 165, 165};
const Rgb TILE_COLOURS[4] = {{160, 100, 25}, {0, 255, 0}, {125, 125, 125}, {255, 255, 0}};

struct Box {
  int left, top, right, bottom;  // right and bottom exclusive
  bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

struct Frame {
  ALLEGRO_BITMAP *bitmap;
  int width, height;
};

bool is_light(const Rgb &c) { return c.red >= 128 && c.green >= 128 && c.blue >= 128; }
bool is_dark(const Rgb &c) { return c.red < 80 && c.green < 80 && c.blue < 80; }

class Hud : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    al_init_font_addon();
    al_init_ttf_addon();
    font = al_load_font(CLODMERE_FONT_FILE, 12, 0);
    ASSERT_NE(font, nullptr) << "cannot load " << CLODMERE_FONT_FILE;
    hud_box_bitmap = filled_bitmap(40, 40, al_map_rgb(165, 165, 165));
  }

  void TearDown() override {
    for (ALLEGRO_BITMAP *bitmap : bitmaps) al_destroy_bitmap(bitmap);
    al_destroy_bitmap(hud_box_bitmap);
    if (font != nullptr) al_destroy_font(font);
  }

  ALLEGRO_BITMAP *filled_bitmap(int width, int height, ALLEGRO_COLOR colour) {
    ALLEGRO_BITMAP *bitmap = al_create_bitmap(width, height);
    al_set_target_bitmap(bitmap);
    al_clear_to_color(colour);
    return bitmap;
  }

  // Draws the HUD of `state` over a background-filled bitmap of its window size,
  // with a bar bitmap made at that width as start-up makes it.
  Frame draw(const GameState &state) {
    const int w = state.screen_width;
    const int h = state.screen_height;
    ALLEGRO_BITMAP *bar = filled_bitmap(w, 10, al_map_rgb(0, 0, 0));
    ALLEGRO_BITMAP *frame = filled_bitmap(w, h, al_map_rgb(BACKGROUND.red, BACKGROUND.green, BACKGROUND.blue));
    bitmaps.push_back(bar);
    bitmaps.push_back(frame);
    al_hold_bitmap_drawing(true);
    draw_hud(state, table.get(), font, hud_box_bitmap, bar);
    al_hold_bitmap_drawing(false);
    return {frame, w, h};
  }

  GameState state_of_size(int width, int height) {
    GameState state = start_game_state();
    state.screen_width = width;
    state.screen_height = height;
    return state;
  }

  // The box a left-aligned text at (x, y) may ink: its advance width plus a
  // pixel of overhang each side, one line high.
  Box left_text_box(int x, int y, const std::string &text) const {
    return {x - 1, y, x + al_get_text_width(font, text.c_str()) + 2, y + al_get_font_line_height(font)};
  }

  Box centred_text_box(int centre, int y, const std::string &text) const {
    const int half = al_get_text_width(font, text.c_str()) / 2;
    return {centre - half - 2, y, centre + half + 2, y + al_get_font_line_height(font)};
  }

  // Checks that the light pixels of the bottom strip lie in exactly the
  // expected text boxes, each box holding some, starting near its corner.
  void expect_white_text_only_in(const Frame &frame, const std::vector<Box> &boxes, const Box &faces) {
    std::vector<int> counts(boxes.size(), 0);
    std::vector<Box> ink(boxes.size(), Box{INT_MAX, INT_MAX, INT_MIN, INT_MIN});
    int stray = 0;
    al_lock_bitmap(frame.bitmap, ALLEGRO_PIXEL_FORMAT_ANY, ALLEGRO_LOCK_READONLY);
    for (int y = frame.height - 60; y < frame.height; ++y) {
      for (int x = 0; x < frame.width; ++x) {
        if (faces.contains(x, y)) continue;
        const Rgb c = pixel_at(frame.bitmap, x, y);
        if (!is_light(c)) continue;
        bool placed = false;
        for (size_t i = 0; i < boxes.size(); ++i) {
          if (!boxes[i].contains(x, y)) continue;
          placed = true;
          ++counts[i];
          ink[i].left = std::min(ink[i].left, x);
          ink[i].top = std::min(ink[i].top, y);
        }
        if (!placed && ++stray <= 5) ADD_FAILURE() << "light pixel outside every text box at " << x << ", " << y;
      }
    }
    al_unlock_bitmap(frame.bitmap);
    EXPECT_EQ(stray, 0);
    for (size_t i = 0; i < boxes.size(); ++i) {
      EXPECT_GT(counts[i], 20) << "text box " << i << " is (nearly) empty";
      // Glyphs start at the text's left end and a few pixels below the line's top.
      EXPECT_LE(ink[i].left, boxes[i].left + 3) << "text box " << i;
      EXPECT_LE(ink[i].top, boxes[i].top + 5) << "text box " << i;
    }
  }

  void expect_rect(const Frame &frame, const Box &rect, const Rgb &colour, const char *what) {
    for (int y = rect.top; y < rect.bottom; ++y) {
      for (int x = rect.left; x < rect.right; ++x) {
        const Rgb c = pixel_at(frame.bitmap, x, y);
        if (!(c == colour)) {
          ADD_FAILURE() << what << " at " << x << ", " << y << " is " << c << ", not " << colour;
          return;
        }
      }
    }
  }

  // The part of the button face not covered by its label is plain grey, and
  // the label's box holds dark pixels.
  void expect_button(const Frame &frame, int face_left, int label_centre, const char *label) {
    const int h = frame.height;
    const Box text = centred_text_box(label_centre, h - 20, label);
    int dark = 0;
    int ink_left = INT_MAX;
    int ink_right = INT_MIN;
    for (int y = h - 25; y < h; ++y) {
      for (int x = face_left; x < face_left + 40; ++x) {
        const Rgb c = pixel_at(frame.bitmap, x, y);
        if (text.contains(x, y)) {
          if (!is_dark(c)) continue;
          ++dark;
          ink_left = std::min(ink_left, x);
          ink_right = std::max(ink_right, x);
        } else if (!(c == GREY)) {
          ADD_FAILURE() << label << " face at " << x << ", " << y << " is " << c;
          return;
        }
      }
    }
    EXPECT_GT(dark, 10) << label << " has no dark label";
    // Centred on its x, give or take the glyphs' side bearings.
    EXPECT_NEAR((ink_left + ink_right) / 2.0, label_centre, 1.0) << label;
    // Only the top 25 rows of the 40-pixel face show; above it the world stays.
    EXPECT_EQ(pixel_at(frame.bitmap, face_left, h - 26), BACKGROUND) << label;
    EXPECT_EQ(pixel_at(frame.bitmap, face_left + 39, h - 26), BACKGROUND) << label;
    EXPECT_EQ(pixel_at(frame.bitmap, face_left - 1, h - 10), BACKGROUND) << label;
  }

  // Which of the four marker spots holds its tile; -1 for none.
  int marker_shown(const Frame &frame) {
    const int h = frame.height;
    const Box spots[4] = {
        {138, h - 38, 148, h - 28}, {238, h - 38, 248, h - 28}, {138, h - 18, 148, h - 8}, {238, h - 18, 248, h - 8}};
    int shown = -1;
    for (int spot = 0; spot < 4; ++spot) {
      int tile_pixels = 0;
      for (int y = spots[spot].top; y < spots[spot].bottom; ++y) {
        for (int x = spots[spot].left; x < spots[spot].right; ++x) {
          const Rgb c = pixel_at(frame.bitmap, x, y);
          for (const Rgb &tile : TILE_COLOURS) tile_pixels += c == tile ? 1 : 0;
        }
      }
      if (tile_pixels == 0) continue;
      EXPECT_EQ(tile_pixels, 100) << "spot " << spot << " is partly covered";
      EXPECT_EQ(shown, -1) << "two markers";
      shown = spot;
      expect_rect(frame, spots[spot], TILE_COLOURS[spot], "marker");
      // Nothing of the tile spills out of its 10 x 10 square.
      EXPECT_FALSE(pixel_at(frame.bitmap, spots[spot].left - 1, spots[spot].top) == TILE_COLOURS[spot]);
      EXPECT_FALSE(pixel_at(frame.bitmap, spots[spot].right, spots[spot].top) == TILE_COLOURS[spot]);
      EXPECT_FALSE(pixel_at(frame.bitmap, spots[spot].left, spots[spot].bottom) == TILE_COLOURS[spot]);
    }
    return shown;
  }

  // Everything the HUD draws for `state`, wherever W and H put it.
  // `texts` are the six lines and the two labels, compared whole with their
  // places: the ink checks below see only where text falls, not what it says.
  void expect_full_layout(const GameState &state, const std::vector<std::string> &texts) {
    const Frame frame = draw(state);
    const int w = frame.width;
    const int h = frame.height;
    const HudTexts words = format_hud_texts(state);
    const HudText *lines[] = {&words.player_x, &words.player_y, &words.dirt, &words.grass,
                              &words.stone,    &words.gold,     &words.load, &words.save};
    const int places[][2] = {{10, h - 40},  {10, h - 20},  {150, h - 40},    {250, h - 40},
                             {150, h - 20}, {250, h - 20}, {w - 20, h - 20}, {w - 80, h - 20}};
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(lines[i]->text, texts[i]);
      EXPECT_EQ(lines[i]->x, places[i][0]) << texts[i];
      EXPECT_EQ(lines[i]->y, places[i][1]) << texts[i];
    }

    // The black bar across the whole width, 10 rows from H - 50; the world above it untouched.
    expect_rect(frame, {0, h - 50, w, h - 40}, BLACK, "bar");
    expect_rect(frame, {0, h - 51, w, h - 50}, BACKGROUND, "row above the bar");

    const std::vector<Box> boxes = {
        left_text_box(10, h - 40, texts[0]),  left_text_box(10, h - 20, texts[1]),
        left_text_box(150, h - 40, texts[2]), left_text_box(250, h - 40, texts[3]),
        left_text_box(150, h - 20, texts[4]), left_text_box(250, h - 20, texts[5]),
    };
    expect_white_text_only_in(frame, boxes, Box{w - 100, h - 25, w, h});

    expect_button(frame, w - 40, w - 20, texts[6].c_str());
    expect_button(frame, w - 100, w - 80, texts[7].c_str());
    // The 20-pixel gap between the faces shows the world.
    expect_rect(frame, {w - 60, h - 25, w - 40, h}, BACKGROUND, "gap between the buttons");

    EXPECT_EQ(marker_shown(frame), state.selected_block - 1);
  }

  ALLEGRO_FONT *font = nullptr;
  ALLEGRO_BITMAP *hud_box_bitmap = nullptr;
  std::vector<ALLEGRO_BITMAP *> bitmaps;
};

TEST_F(Hud, StartOfANewGameAt1440x900) {
  const GameState state = state_of_size(1440, 900);
  expect_full_layout(state, {"Player X: 30.0", "Player Y: 800.0", "1) Dirt: 0", "2) Grass: 0", "3) Stone: 0",
                             "4) Gold: 0", "Load", "Save"});

  // The corners the window test and the mouse hit boxes rely on.
  const Frame frame = draw(state);
  EXPECT_EQ(pixel_at(frame.bitmap, 1400, 875), GREY);
  EXPECT_EQ(pixel_at(frame.bitmap, 1439, 899), GREY);
  EXPECT_EQ(pixel_at(frame.bitmap, 1340, 875), GREY);
  EXPECT_EQ(pixel_at(frame.bitmap, 1379, 875), GREY);
  EXPECT_EQ(pixel_at(frame.bitmap, 1380, 875), BACKGROUND);
  EXPECT_EQ(pixel_at(frame.bitmap, 1399, 875), BACKGROUND);
  EXPECT_EQ(pixel_at(frame.bitmap, 138, 862), TILE_COLOURS[0]);
  EXPECT_EQ(pixel_at(frame.bitmap, 147, 871), TILE_COLOURS[0]);
}

TEST_F(Hud, CountsAndPositionsShowTheRecordsValues) {
  GameState state = state_of_size(1440, 900);
  state.player_x = 1234.5f;
  state.player_y = 1190.0f;
  state.dirt_count = 7;
  state.grass_count = 123456;
  state.stone_count = 42;
  state.gold_count = 1;
  expect_full_layout(state, {"Player X: 1234.5", "Player Y: 1190.0", "1) Dirt: 7", "2) Grass: 123456", "3) Stone: 42",
                             "4) Gold: 1", "Load", "Save"});
}

TEST_F(Hud, TheMarkerFollowsTheSelectionAndVanishesOutsideOneToFour) {
  for (int selected = 1; selected <= 4; ++selected) {
    GameState state = state_of_size(1440, 900);
    state.selected_block = selected;
    EXPECT_EQ(marker_shown(draw(state)), selected - 1) << "selected " << selected;
  }
  for (int selected : {0, 5, 7, -1, INT_MIN, INT_MAX}) {
    GameState state = state_of_size(1440, 900);
    state.selected_block = selected;
    EXPECT_EQ(marker_shown(draw(state)), -1) << "selected " << selected;
  }
}

TEST_F(Hud, EveryWindowSizeLaysOutFromWAndH) {
  // The menu's three sizes and full-screen windows of a few monitors (one
  // pixel larger than the monitor each way).
  const int sizes[][2] = {{1200, 700}, {1680, 1050}, {1921, 1201}, {1367, 769}, {2561, 1441}};
  for (const auto &size : sizes) {
    SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]));
    GameState state = state_of_size(size[0], size[1]);
    state.selected_block = 4;
    expect_full_layout(state, {"Player X: 30.0", "Player Y: 800.0", "1) Dirt: 0", "2) Grass: 0", "3) Stone: 0",
                               "4) Gold: 0", "Load", "Save"});
  }
}

TEST_F(Hud, ValuesFromADamagedSaveDrawWithoutOverrunningTheText) {
  GameState state = state_of_size(1440, 900);
  state.player_x = std::numeric_limits<float>::max();
  state.player_y = std::nanf("");
  state.dirt_count = INT_MIN;
  state.grass_count = INT_MAX;
  state.stone_count = -1;
  state.gold_count = INT_MIN;
  const HudTexts words = format_hud_texts(state);
  EXPECT_STREQ(words.player_x.text, "Player X: 340282346638528859811704183484516925440.0");
  EXPECT_STREQ(words.player_y.text, "Player Y: nan");
  EXPECT_STREQ(words.dirt.text, "1) Dirt: -2147483648");
  EXPECT_STREQ(words.grass.text, "2) Grass: 2147483647");
  EXPECT_STREQ(words.stone.text, "3) Stone: -1");
  EXPECT_STREQ(words.gold.text, "4) Gold: -2147483648");
  const Frame frame = draw(state);
  // The 39-digit position stays inside its buffer (the sanitizer build
  // catches any overrun); the line still starts where it belongs.
  int light_near_start = 0;
  for (int y = 860; y < 875; ++y) {
    for (int x = 10; x < 20; ++x) light_near_start += is_light(pixel_at(frame.bitmap, x, y)) ? 1 : 0;
  }
  EXPECT_GT(light_near_start, 0);
  expect_button(frame, 1400, 1420, "Load");
}

}  // namespace
