// Reading grid cells by column and row without ever leaving the grid.
#include "player/grid_lookup.h"

#include <cstring>

namespace {

Block stand_in(BlockKind kind, const char *name, int column, int row) {
  Block cell{};
  std::strncpy(cell.name, name, sizeof cell.name);
  cell.id = kind;
  cell.tile = nullptr;
  cell.passable = kind == BLOCK_AIR ? 1 : 0;
  cell.x = static_cast<float>(column * CELL_SIZE);
  cell.y = static_cast<float>(row * CELL_SIZE);
  return cell;
}

}  // namespace

Block cell_or_border(const WorldGrid *grid, int column, int row) {
  if (cell_in_grid(column, row)) return cell_at(grid, column, row);
  const bool beside_or_below = column < 0 || column >= WORLD_COLUMNS || row >= WORLD_ROWS;
  return beside_or_below ? stand_in(BLOCK_NULL, "NULL", column, row) : stand_in(BLOCK_AIR, "Air", column, row);
}
