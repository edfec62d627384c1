// make_icon: draws the menu icon from the game's own tiles, so that the icon
// keeps the game's look when its colours change. Run by the build; not installed.
// Usage: make_icon SIZE OUT.png
#include <allegro5/allegro.h>
#include <allegro5/allegro_image.h>

#include <cstdio>
#include <cstdlib>

#include "world/world.h"

namespace {

// The scene, one letter a cell (icon sizes are multiples of its width, so
// that every cell is a whole, equal square): sky, grass, dirt with a stone and a vein of gold.
constexpr int SCENE_CELLS = 8;
constexpr const char *SCENE[SCENE_CELLS] = {
    "AAAAAAAA", "AAAAAAAA", "AAAAAAAA", "AAAAAAAA", "GGGGGGGG", "DDDDDDDD", "DSDDDDDD", "DDDDDSYD",
};

// The player stands on the grass in the middle: one cell wide, two high.
constexpr double PLAYER_COLUMN = 3.5;
constexpr int PLAYER_ROW = 2;
constexpr int PLAYER_WIDTH_CELLS = 1;
constexpr int PLAYER_HEIGHT_CELLS = 2;

// The player's colour, as start-up clears the player's bitmap.
constexpr unsigned char PLAYER_RED = 0, PLAYER_GREEN = 125, PLAYER_BLUE = 125;

int kind_of_letter(char letter) {
  switch (letter) {
    case 'G':
      return BLOCK_GRASS;
    case 'D':
      return BLOCK_DIRT;
    case 'S':
      return BLOCK_STONE;
    case 'Y':
      return BLOCK_GOLD;
    default:
      return BLOCK_AIR;
  }
}

ALLEGRO_BITMAP *draw_icon(const BlockKindTable &table, ALLEGRO_BITMAP *player, int size) {
  ALLEGRO_BITMAP *icon = al_create_bitmap(size, size);
  if (icon == nullptr) return nullptr;
  const int cell = size / SCENE_CELLS;
  const auto cell_size = static_cast<float>(cell);
  al_set_target_bitmap(icon);
  for (int row = 0; row < SCENE_CELLS; ++row) {
    for (int column = 0; column < SCENE_CELLS; ++column) {
      ALLEGRO_BITMAP *tile = table.kinds[kind_of_letter(SCENE[row][column])].tile;
      al_draw_scaled_bitmap(tile, 0, 0, CELL_SIZE, CELL_SIZE, static_cast<float>(column * cell),
                            static_cast<float>(row * cell), cell_size, cell_size, 0);
    }
  }
  al_draw_scaled_bitmap(player, 0, 0, static_cast<float>(al_get_bitmap_width(player)),
                        static_cast<float>(al_get_bitmap_height(player)), static_cast<float>(PLAYER_COLUMN * cell),
                        static_cast<float>(PLAYER_ROW * cell), cell_size * PLAYER_WIDTH_CELLS,
                        cell_size * PLAYER_HEIGHT_CELLS, 0);
  return icon;
}

// The icon's size from the command line; 0 when it is not one the scene fits.
int parse_size(const char *text) {
  constexpr long largest = 1024;
  char *end = nullptr;
  const long size = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || size < SCENE_CELLS || size > largest || size % SCENE_CELLS != 0) return 0;
  return static_cast<int>(size);
}

}  // namespace

int main(int argc, char **argv) {
  const int size = argc == 3 ? parse_size(argv[1]) : 0;
  if (size == 0) {
    std::fprintf(stderr, "Usage: make_icon SIZE OUT.png  (SIZE a multiple of %d, up to 1024)\n", SCENE_CELLS);
    return 2;
  }
  if (!al_init() || !al_init_image_addon()) {
    std::fprintf(stderr, "make_icon: cannot initialise Allegro\n");
    return 1;
  }
  // No window: every bitmap, the tiles included, is a memory bitmap.
  al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP);
  BlockKindTable table{};
  load_block_kinds(&table);
  ALLEGRO_BITMAP *player = al_create_bitmap(CELL_SIZE * PLAYER_WIDTH_CELLS, CELL_SIZE * PLAYER_HEIGHT_CELLS);
  if (player == nullptr) return 1;
  al_set_target_bitmap(player);
  al_clear_to_color(al_map_rgb(PLAYER_RED, PLAYER_GREEN, PLAYER_BLUE));

  ALLEGRO_BITMAP *icon = draw_icon(table, player, size);
  if (icon == nullptr || !al_save_bitmap(argv[2], icon)) {
    std::fprintf(stderr, "make_icon: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
