#include <gtest/gtest.h>

#include <memory>

#include "state/game_state.h"
#include "world/world.h"

namespace {

TEST(WorldGrid, CellsAreColumnMajor) {
  EXPECT_EQ(cell_index(0, 0), 0);
  EXPECT_EQ(cell_index(0, 479), 479);
  EXPECT_EQ(cell_index(1, 0), 480);
  EXPECT_EQ(cell_index(719, 479), 345599);
  EXPECT_EQ(WORLD_CELL_COUNT, 345600);
  auto grid = std::make_unique<WorldGrid>();
  EXPECT_EQ(&cell_at(grid.get(), 719, 479), &grid->cells[345599]);
}

TEST(WorldGrid, WorldPointsFallInTheCellTheirTruncatedPixelNames) {
  EXPECT_EQ(cell_of_pixel(7199.5f), 719);
  EXPECT_EQ(cell_of_pixel(4799.5f), 479);
  EXPECT_EQ(cell_of_pixel(9.99f), 0);
  EXPECT_EQ(cell_of_pixel(0.0f), 0);
  EXPECT_EQ(cell_of_pixel(10.0f), 1);
  // Truncation toward zero: just left of the world still names column 0.
  EXPECT_EQ(cell_of_pixel(-2.5f), 0);
  EXPECT_EQ(cell_of_pixel(-10.0f), -1);
}

TEST(WorldGrid, PointsFarOutsideTheWorldStayFarOutsideTheGrid) {
  EXPECT_FALSE(cell_in_grid(cell_of_pixel(3.0e38f), 0));
  EXPECT_FALSE(cell_in_grid(cell_of_pixel(-3.0e38f), 0));
  EXPECT_FALSE(cell_in_grid(0, cell_of_pixel(std::numeric_limits<float>::quiet_NaN())));
  EXPECT_FALSE(cell_in_grid(0, cell_of_pixel(std::numeric_limits<float>::infinity())));
}

TEST(WorldGrid, ChangingAKindKeepsTheCellsPosition) {
  Block cell{};
  cell.x = 300.0f;
  cell.y = 1210.0f;
  cell.id = BLOCK_GRASS;
  Block air{};
  air.id = BLOCK_AIR;
  air.passable = 1;
  set_cell_kind(&cell, air);
  EXPECT_EQ(cell.id, BLOCK_AIR);
  EXPECT_EQ(cell.passable, 1);
  EXPECT_EQ(cell.x, 300.0f);
  EXPECT_EQ(cell.y, 1210.0f);
}

TEST(GameStateRecord, StartValuesOfANewGame) {
  const GameState state = start_game_state();
  EXPECT_EQ(state.player_x, 30.0f);
  EXPECT_EQ(state.player_y, 800.0f);
  EXPECT_EQ(state.dirt_count + state.grass_count + state.stone_count + state.gold_count, 0);
  EXPECT_EQ(state.on_ground, 0);
  EXPECT_EQ(state.selected_block, 1);
  EXPECT_EQ(state.screen_width, 1440);
  EXPECT_EQ(state.screen_height, 900);
  EXPECT_EQ(state.load_saved_world, 0);
  EXPECT_EQ(state.load_failed, 0);
  for (int code = 0; code < KEY_SLOT_COUNT; ++code) EXPECT_FALSE(key_held(state, code));
}

TEST(GameStateRecord, AnyNonZeroKeyByteCountsAsHeldAndOutOfRangeCodesNever) {
  GameState state = start_game_state();
  state.keys[82] = 1;
  state.keys[83] = 0x80;
  state.keys[84] = 0xFF;
  EXPECT_TRUE(key_held(state, 82));
  EXPECT_TRUE(key_held(state, 83));
  EXPECT_TRUE(key_held(state, 84));
  EXPECT_FALSE(key_held(state, 85));
  EXPECT_FALSE(key_held(state, -1));
  EXPECT_FALSE(key_held(state, KEY_SLOT_COUNT));
}

}  // namespace
