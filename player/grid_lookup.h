// Reading grid cells by column and row without ever leaving the grid.
#pragma once

#include "world/world.h"

// The cell at (column, row), or a stand-in record when that lies outside the
// grid. The world is walled in at both sides and below and open above: a
// column left of 0 or right of 719, or a row below 479, reads as a solid
// NULL cell at that position, and any other row above 0 reads as Air there,
// so the player can stand on blocks built up to the top row, is stopped by
// the side walls at every height and never reads memory outside the grid.
// Stand-ins carry no tile.
Block cell_or_border(const WorldGrid *grid, int column, int row);

// Air and Underground are passable; any non-zero byte counts.
inline bool is_passable(const Block &cell) { return cell.passable != 0; }
