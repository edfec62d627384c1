// The heads-up display: position, block counts, selection marker, Save and Load.
#include "hud/hud.h"

#include <cstdarg>
#include <cstdio>
#include <initializer_list>

namespace {

// Where the selected kind's tile sits: 12 pixels left of its count, 2 below the top of its line.
struct MarkerSpot {
  int kind;
  int x;
  int rise;  // distance from the bottom edge
};

constexpr MarkerSpot MARKER_SPOTS[4] = {
    {BLOCK_DIRT, 138, 38},
    {BLOCK_GRASS, 238, 38},
    {BLOCK_STONE, 138, 18},
    {BLOCK_GOLD, 238, 18},
};

void draw_text(ALLEGRO_FONT *font, ALLEGRO_COLOR colour, int flags, const HudText &line) {
  al_draw_text(font, colour, static_cast<float>(line.x), static_cast<float>(line.y), flags, line.text);
}

HudText place(int x, int y, const char *format, ...) __attribute__((format(printf, 3, 4)));

// One text formatted like printf, at (x, y).
HudText place(int x, int y, const char *format, ...) {
  HudText line{x, y, {}};
  va_list args;
  va_start(args, format);
  std::vsnprintf(line.text, sizeof line.text, format, args);
  va_end(args);
  return line;
}

}  // namespace

HudTexts format_hud_texts(GameState state) {
  const int w = state.screen_width;
  const int h = state.screen_height;
  HudTexts texts{};
  texts.player_x = place(10, h - 40, "Player X: %.1f", static_cast<double>(state.player_x));
  texts.player_y = place(10, h - 20, "Player Y: %.1f", static_cast<double>(state.player_y));
  // Two by two: Dirt and Grass on the upper line, Stone and Gold on the lower.
  texts.dirt = place(150, h - 40, "1) Dirt: %d", state.dirt_count);
  texts.grass = place(250, h - 40, "2) Grass: %d", state.grass_count);
  texts.stone = place(150, h - 20, "3) Stone: %d", state.stone_count);
  texts.gold = place(250, h - 20, "4) Gold: %d", state.gold_count);
  // Centred on the faces at W - 40 and W - 100, which are 40 wide.
  texts.load = place(w - 20, h - 20, "Load");
  texts.save = place(w - 80, h - 20, "Save");
  return texts;
}

void draw_hud(GameState state, const BlockKindTable *table, ALLEGRO_FONT *font, ALLEGRO_BITMAP *hud_box_bitmap,
              ALLEGRO_BITMAP *hud_bar_bitmap) {
  const int w = state.screen_width;
  const int h = state.screen_height;
  const ALLEGRO_COLOR white = al_map_rgb(255, 255, 255);
  const ALLEGRO_COLOR black = al_map_rgb(0, 0, 0);
  const HudTexts texts = format_hud_texts(state);

  al_draw_bitmap(hud_bar_bitmap, 0.0f, static_cast<float>(h - 50), 0);

  for (const HudText *line : {&texts.player_x, &texts.player_y, &texts.dirt, &texts.grass, &texts.stone, &texts.gold}) {
    draw_text(font, white, ALLEGRO_ALIGN_LEFT, *line);
  }

  // A loaded file may hold any selection; only 1 to 4 have a marker.
  if (state.selected_block >= 1 && state.selected_block <= 4) {
    const MarkerSpot &spot = MARKER_SPOTS[state.selected_block - 1];
    al_draw_bitmap(table->kinds[spot.kind].tile, static_cast<float>(spot.x), static_cast<float>(h - spot.rise), 0);
  }

  // The faces are 40 tall but start 25 above the bottom: only their top 25 rows show.
  al_draw_bitmap(hud_box_bitmap, static_cast<float>(w - 40), static_cast<float>(h - 25), 0);
  draw_text(font, black, ALLEGRO_ALIGN_CENTRE, texts.load);
  al_draw_bitmap(hud_box_bitmap, static_cast<float>(w - 100), static_cast<float>(h - 25), 0);
  draw_text(font, black, ALLEGRO_ALIGN_CENTRE, texts.save);
}
