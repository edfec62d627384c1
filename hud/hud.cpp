// The heads-up display: position, block counts, selection marker, Save and Load.
#include "hud/hud.h"

#include <cstdio>

namespace {

// Long enough for any position or count the game produces; snprintf cuts
// anything longer (a damaged save can hold huge floats) instead of overflowing.
constexpr int HUD_TEXT_CAPACITY = 64;

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

void draw_line(ALLEGRO_FONT *font, ALLEGRO_COLOR colour, int x, int y, int flags, const char *text) {
  al_draw_text(font, colour, static_cast<float>(x), static_cast<float>(y), flags, text);
}

void draw_position(ALLEGRO_FONT *font, ALLEGRO_COLOR colour, int x, int y, const char *format, float value) {
  char text[HUD_TEXT_CAPACITY];
  std::snprintf(text, sizeof text, format, static_cast<double>(value));
  draw_line(font, colour, x, y, ALLEGRO_ALIGN_LEFT, text);
}

void draw_count(ALLEGRO_FONT *font, ALLEGRO_COLOR colour, int x, int y, const char *format, int value) {
  char text[HUD_TEXT_CAPACITY];
  std::snprintf(text, sizeof text, format, value);
  draw_line(font, colour, x, y, ALLEGRO_ALIGN_LEFT, text);
}

}  // namespace

void draw_hud(GameState state, const BlockKindTable *table, ALLEGRO_FONT *font, ALLEGRO_BITMAP *hud_box_bitmap,
              ALLEGRO_BITMAP *hud_bar_bitmap) {
  const int w = state.screen_width;
  const int h = state.screen_height;
  const ALLEGRO_COLOR white = al_map_rgb(255, 255, 255);
  const ALLEGRO_COLOR black = al_map_rgb(0, 0, 0);

  al_draw_bitmap(hud_bar_bitmap, 0.0f, static_cast<float>(h - 50), 0);

  draw_position(font, white, 10, h - 40, "Player X: %.1f", state.player_x);
  draw_position(font, white, 10, h - 20, "Player Y: %.1f", state.player_y);
  draw_count(font, white, 150, h - 40, "1) Dirt: %d", state.dirt_count);
  draw_count(font, white, 250, h - 40, "2) Grass: %d", state.grass_count);
  draw_count(font, white, 150, h - 20, "3) Stone: %d", state.stone_count);
  draw_count(font, white, 250, h - 20, "4) Gold: %d", state.gold_count);

  // A loaded file may hold any selection; only 1 to 4 have a marker.
  if (state.selected_block >= 1 && state.selected_block <= 4) {
    const MarkerSpot &spot = MARKER_SPOTS[state.selected_block - 1];
    al_draw_bitmap(table->kinds[spot.kind].tile, static_cast<float>(spot.x), static_cast<float>(h - spot.rise), 0);
  }

  // The faces are 40 tall but start 25 above the bottom: only their top 25 rows show.
  al_draw_bitmap(hud_box_bitmap, static_cast<float>(w - 40), static_cast<float>(h - 25), 0);
  draw_line(font, black, w - 20, h - 20, ALLEGRO_ALIGN_CENTRE, "Load");
  al_draw_bitmap(hud_box_bitmap, static_cast<float>(w - 100), static_cast<float>(h - 25), 0);
  draw_line(font, black, w - 80, h - 20, ALLEGRO_ALIGN_CENTRE, "Save");
}
