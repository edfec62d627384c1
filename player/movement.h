// Movement and collision: one fixed step of the player per timer tick.
#pragma once

#include <cstdint>

#include "state/game_state.h"
#include "world/world.h"

// Moves the player one tick: rise while a jump lasts, walk, fall. Adds 1 to
// *tick_count at the end; *jump_end_tick is the tick at which a jump stops rising.
GameState handle_tick(GameState state, const WorldGrid *grid, std::int32_t *tick_count, std::int32_t *jump_end_tick);

// True when a 2.5-pixel step to the left is allowed, given the lower and the
// upper cell of the column left of the player and the player's x.
bool can_move_left(Block lower, Block upper, float x);
