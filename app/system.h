// The Allegro objects that start-up creates and that live for the whole run.
#pragma once

#include <allegro5/allegro.h>
#include <allegro5/allegro_font.h>

#include "state/game_state.h"

constexpr const char *GAME_TITLE = "Clodmere 0.69 - Raraded";

// Owned by the main routine; only the event queue, the timer and the display
// are destroyed by hand at shut-down, the rest goes with Allegro's own clean-up.
struct SystemHandles {
  ALLEGRO_DISPLAY *display;
  ALLEGRO_EVENT_QUEUE *event_queue;
  ALLEGRO_TIMER *timer;
  ALLEGRO_FONT *font;              // null when no TrueType font loaded
  ALLEGRO_BITMAP *hud_box_bitmap;  // 40 x 40 grey face of the Save and Load buttons
  ALLEGRO_BITMAP *hud_bar_bitmap;  // screen_width x 10 black bar
  bool hud_enabled;                // false when no font loaded: no HUD at all
};

// Brings the game from process start to an open game window: Allegro, the
// menu window, the event queue, input drivers, the 60 Hz timer, the font, the
// player and HUD bitmaps, the start values of `state` and the start menu.
// Ends the process with exit code 1 when a core resource cannot be had.
void initialize_system(SystemHandles *system, GameState *state);
