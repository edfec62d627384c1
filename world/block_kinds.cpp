// The seven block kinds and their tiles.
#include <allegro5/allegro.h>

#include <algorithm>
#include <cstring>

#include "world/world.h"

namespace {

struct KindLook {
  const char *name;
  unsigned char red, green, blue;
  bool passable;
};

// Kinds 0 to 5 own a tile each; Underground (6) shares NULL's black tile.
constexpr KindLook KIND_LOOKS[BLOCK_KIND_COUNT] = {
    {"NULL", 0, 0, 0, false},       {"Air", 125, 125, 255, true},    {"Dirt", 160, 100, 25, false},
    {"Grass", 0, 255, 0, false},    {"Stone", 125, 125, 125, false}, {"Gold", 255, 255, 0, false},
    {"Underground", 0, 0, 0, true},
};
constexpr int TILE_COUNT = 6;

void write_name(Block *block, const char *name) {
  // Eight bytes exactly: shorter names are zero-padded, longer ones cut with no terminator.
  std::memset(block->name, 0, sizeof block->name);
  std::memcpy(block->name, name, std::min(std::strlen(name), sizeof block->name));
}

}  // namespace

void load_block_kinds(BlockKindTable *table) {
  *table = BlockKindTable{};
  table->atlas = al_create_bitmap(CELL_SIZE, TILE_COUNT * CELL_SIZE);

  ALLEGRO_BITMAP *tiles[TILE_COUNT];
  al_set_target_bitmap(table->atlas);
  for (int id = 0; id < TILE_COUNT; ++id) {
    const KindLook &look = KIND_LOOKS[id];
    // Clearing honours the clipping rectangle: this fills one tile.
    al_set_clipping_rectangle(0, id * CELL_SIZE, CELL_SIZE, CELL_SIZE);
    al_clear_to_color(al_map_rgb(look.red, look.green, look.blue));
    tiles[id] = al_create_sub_bitmap(table->atlas, 0, id * CELL_SIZE, CELL_SIZE, CELL_SIZE);
  }
  al_reset_clipping_rectangle();

  for (int id = 0; id < BLOCK_KIND_COUNT; ++id) {
    Block &kind = table->kinds[id];
    write_name(&kind, KIND_LOOKS[id].name);
    kind.id = id;
    kind.passable = KIND_LOOKS[id].passable ? 1 : 0;
    kind.tile = tiles[id == BLOCK_UNDERGROUND ? BLOCK_NULL : id];
  }
}
