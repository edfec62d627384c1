// The start menu window: window size and New World or Load World.
#pragma once

#include <allegro5/allegro.h>
#include <allegro5/allegro_font.h>

#include "state/game_state.h"

// Runs the menu in the 640 x 240 window `*display` until New World or Load
// World is clicked, then replaces that window by the game window of the
// chosen size (registered with `event_queue`) and returns `state` with
// screen_width, screen_height and load_saved_world set. Closing the menu
// window ends the process with exit code 1. `font` may be null: the menu then
// uses Allegro's built-in font. `buffer` only receives the awaited events.
GameState run_start_menu(GameState state, ALLEGRO_FONT *font, ALLEGRO_DISPLAY **display,
                         ALLEGRO_EVENT_QUEUE *event_queue, ALLEGRO_EVENT buffer);

// Paints one whole menu frame on the current target and flips the display.
void draw_start_menu(ALLEGRO_BITMAP *menu_button_bitmap, ALLEGRO_FONT *font);
