// Terrain generation: sky, a grassy surface band, dirt and stone with gold
// near the bottom, on a floor of NULL cells.
#include "world/terrain.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "world/random.h"

namespace {

constexpr int SKY_LAST_ROW = 120;      // rows 0 to 120 are Air
constexpr int SURFACE_LAST_ROW = 180;  // rows 121 to 180 thin from Grass to Dirt
constexpr int FLOOR_ROW = WORLD_ROWS - 1;
constexpr int GOLD_DRAW = 99;

}  // namespace

BlockKind terrain_kind(int row, int v) {
  if (row <= SKY_LAST_ROW) return BLOCK_AIR;
  if (row <= SURFACE_LAST_ROW) {
    // Compared as a real number: 1.67 * 60 on row 121 exceeds every draw.
    const int w = SURFACE_LAST_ROW + 1 - row;
    return v < 1.67 * w ? BLOCK_GRASS : BLOCK_DIRT;
  }
  if (row < FLOOR_ROW) {
    const int a = 660 - row;
    const int b = 1320 - 2 * row;
    if (5 * v < a) return BLOCK_DIRT;
    if (5 * v < b) return BLOCK_STONE;
    if (a <= 240 && v == GOLD_DRAW) return BLOCK_GOLD;  // rows 420 and below
    return BLOCK_DIRT;
  }
  return BLOCK_NULL;
}

void generate_world(WorldGrid *grid, const BlockKindTable *table, std::uint32_t seed) {
  clodmere_srand(seed);
  for (Block &cell : grid->cells) cell = table->kinds[BLOCK_NULL];

  // Element order, one draw per cell (also where the draw is not used), so
  // that a seed names one world.
  for (int column = 0; column < WORLD_COLUMNS; ++column) {
    for (int row = 0; row < WORLD_ROWS; ++row) {
      const int v = clodmere_rand() % 100;
      Block &cell = cell_at(grid, column, row);
      if (row != FLOOR_ROW) cell = table->kinds[terrain_kind(row, v)];
      cell.x = static_cast<float>(column * CELL_SIZE);
      cell.y = static_cast<float>(row * CELL_SIZE);
    }
  }
}

std::uint32_t clock_seed() { return static_cast<std::uint32_t>(std::time(nullptr)); }

bool parse_seed(const char *text, std::uint32_t *seed) {
  if (*text < '0' || *text > '9') return false;  // strtoull would take a sign or blanks
  errno = 0;
  char *end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || value > UINT32_MAX) return false;
  *seed = static_cast<std::uint32_t>(value);
  return true;
}
