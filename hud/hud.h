// The heads-up display along the bottom edge of the window.
#pragma once

#include <allegro5/allegro.h>
#include <allegro5/allegro_font.h>

#include "state/game_state.h"
#include "world/world.h"

// Long enough for every text the HUD can show, even the 39-digit floats a
// damaged save may hold; snprintf would cut anything longer, never overflow.
constexpr int HUD_TEXT_CAPACITY = 64;

// One text of the HUD and where it goes, in window pixels: y is the top of
// the line, x its left end (the six white lines) or its centre (the labels).
struct HudText {
  int x;
  int y;
  char text[HUD_TEXT_CAPACITY];
};

// Every text of one HUD frame.
struct HudTexts {
  HudText player_x;  // "Player X: 30.0"
  HudText player_y;  // "Player Y: 800.0"
  HudText dirt;      // "1) Dirt: 0"
  HudText grass;     // "2) Grass: 0"
  HudText stone;     // "3) Stone: 0"
  HudText gold;      // "4) Gold: 0"
  HudText load;      // the black labels of the two button faces
  HudText save;
};

// The HUD's texts for `state`, laid out from its screen size: positions with
// one decimal, counts as plain integers.
HudTexts format_hud_texts(GameState state);

// Draws the position, the four counts, the selection marker and the Save and
// Load buttons over the world, with exactly the texts of format_hud_texts.
// Reads `state` only.
void draw_hud(GameState state, const BlockKindTable *table, ALLEGRO_FONT *font, ALLEGRO_BITMAP *hud_box_bitmap,
              ALLEGRO_BITMAP *hud_bar_bitmap);
