// Mouse actions: dig, place, and the HUD's Save and Load buttons.
#pragma once

#include <allegro5/allegro.h>

#include "state/game_state.h"
#include "world/world.h"

// Acts on the cell under the pointer (left button digs, any other places the
// selected kind), then a left click on the HUD's Load or Save area loads or saves.
GameState handle_mouse_down(ALLEGRO_EVENT event, WorldGrid *grid, const BlockKindTable *table, GameState state);

// 1 when the player can act on the cell: within reach and touching open space.
int cell_in_reach(const WorldGrid *grid, GameState state, int column, int row);
