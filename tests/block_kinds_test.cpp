#include <gtest/gtest.h>

#include <cstring>

#include "world_test_support.h"

namespace {

using BlockKinds = WorldTest;

TEST_F(BlockKinds, EntriesAreInIdOrderWithTheirNamesAndPassability) {
  const char *names[] = {"NULL", "Air", "Dirt", "Grass", "Stone", "Gold"};
  const bool passable[] = {false, true, false, false, false, false, true};
  for (int id = 0; id < BLOCK_KIND_COUNT; ++id) {
    const Block &kind = table->kinds[id];
    EXPECT_EQ(kind.id, id);
    EXPECT_EQ(kind.passable != 0, passable[id]) << "kind " << id;
    if (id < 6) {
      // Short names are followed by zero bytes.
      char expected[8] = {};
      std::memcpy(expected, names[id], std::strlen(names[id]));
      EXPECT_EQ(std::memcmp(kind.name, expected, 8), 0) << "kind " << id;
    }
  }
  // Underground keeps exactly eight name bytes and no terminator.
  EXPECT_EQ(std::memcmp(table->kinds[BLOCK_UNDERGROUND].name, "Undergro", 8), 0);
}

TEST_F(BlockKinds, NullAndUndergroundShareOneTileTheOthersAreDistinct) {
  EXPECT_EQ(table->kinds[BLOCK_NULL].tile, table->kinds[BLOCK_UNDERGROUND].tile);
  for (int a = 0; a < 6; ++a) {
    ASSERT_NE(table->kinds[a].tile, nullptr);
    for (int b = a + 1; b < 6; ++b) EXPECT_NE(table->kinds[a].tile, table->kinds[b].tile);
  }
}

TEST_F(BlockKinds, EachTileIsTenByTenOfItsColourInsideTheOneAtlas) {
  const Rgb colours[] = {{0, 0, 0}, {125, 125, 255}, {160, 100, 25}, {0, 255, 0}, {125, 125, 125}, {255, 255, 0}};
  for (int id = 0; id < 6; ++id) {
    ALLEGRO_BITMAP *tile = table->kinds[id].tile;
    EXPECT_EQ(al_get_bitmap_width(tile), 10);
    EXPECT_EQ(al_get_bitmap_height(tile), 10);
    EXPECT_EQ(al_get_parent_bitmap(tile), table->atlas) << "kind " << id;
    for (int y = 0; y < 10; y += 9) {
      for (int x = 0; x < 10; x += 9) EXPECT_EQ(pixel_at(tile, x, y), colours[id]) << "kind " << id;
    }
  }
}

}  // namespace
