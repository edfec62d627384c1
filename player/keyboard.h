// Keyboard input: held-key flags and the kind selected for placing.
#pragma once

#include <allegro5/allegro.h>

#include "state/game_state.h"

// Key presses set and releases clear the flags of the arrow keys (W, A, S, D
// write the arrow keys' flags); a press of 1 to 4 selects the kind to place.
// Any other event returns the record unchanged.
GameState handle_key_event(ALLEGRO_EVENT event, GameState state);
