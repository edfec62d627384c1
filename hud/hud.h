// The heads-up display along the bottom edge of the window.
#pragma once

#include <allegro5/allegro.h>
#include <allegro5/allegro_font.h>

#include "state/game_state.h"
#include "world/world.h"

// Draws the position, the four counts, the selection marker and the Save and
// Load buttons over the world. Reads `state` only.
void draw_hud(GameState state, const BlockKindTable *table, ALLEGRO_FONT *font, ALLEGRO_BITMAP *hud_box_bitmap,
              ALLEGRO_BITMAP *hud_bar_bitmap);
