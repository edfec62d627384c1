#include "player/movement.h"

#include <allegro5/keycodes.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "state/game_state.h"
#include "tests/allegro_test_support.h"
#include "world/terrain.h"
#include "world/world.h"

namespace {

Block make_kind(BlockKind id, bool passable) {
  Block kind{};
  kind.id = id;
  kind.passable = passable ? 1 : 0;
  return kind;
}

const Block AIR = make_kind(BLOCK_AIR, true);
const Block UNDERGROUND = make_kind(BLOCK_UNDERGROUND, true);
const Block DIRT = make_kind(BLOCK_DIRT, false);

// Sets columns c0..c1 and rows r0..r1 (inclusive) to `kind`.
void fill(WorldGrid *grid, int c0, int c1, int r0, int r1, const Block &kind) {
  for (int column = c0; column <= c1; ++column) {
    for (int row = r0; row <= r1; ++row) set_cell_kind(&cell_at(grid, column, row), kind);
  }
}

// A world of Air whose cells know their positions.
std::unique_ptr<WorldGrid> air_world() {
  auto grid = std::make_unique<WorldGrid>();
  for (int column = 0; column < WORLD_COLUMNS; ++column) {
    for (int row = 0; row < WORLD_ROWS; ++row) {
      Block &cell = cell_at(grid.get(), column, row);
      cell = AIR;
      cell.x = static_cast<float>(column * CELL_SIZE);
      cell.y = static_cast<float>(row * CELL_SIZE);
    }
  }
  return grid;
}

// Air down to row 99, solid ground from row 100 (y 1000): a player stands at y 980.
constexpr float GROUND_TOP = 1000.0f;
constexpr float STANDING_Y = GROUND_TOP - 20.0f;
std::unique_ptr<WorldGrid> flat_world() {
  auto grid = air_world();
  fill(grid.get(), 0, WORLD_COLUMNS - 1, 100, WORLD_ROWS - 1, DIRT);
  return grid;
}

// The player plus the main loop's two counters.
struct Player {
  GameState state;
  std::int32_t tick_count;
  std::int32_t jump_end_tick;
};

// A player standing at (x, y) some ticks into the game, as the main loop has it.
Player player_at(float x, float y) {
  Player player{start_game_state(), 5, 0};
  player.state.player_x = x;
  player.state.player_y = y;
  return player;
}

void hold(Player *player, int keycode, bool held) { player->state.keys[keycode] = held ? 1 : 0; }

void tick(Player *player, const WorldGrid *grid, int count = 1) {
  for (int i = 0; i < count; ++i) {
    player->state = handle_tick(player->state, grid, &player->tick_count, &player->jump_end_tick);
  }
}

// y relative to standing after each tick of holding the jump key: first jump,
// dip on tick 11, second jump in mid-air on tick 12, top at -50 on tick 21,
// landing on 41, next jump on 43.
constexpr float JUMP_TABLE[43] = {-5,    -7.5,  -10,   -12.5, -15,   -17.5, -20,   -22.5, -25,   -27.5, -25,
                                  -27.5, -30,   -32.5, -35,   -37.5, -40,   -42.5, -45,   -47.5, -50,   -47.5,
                                  -45,   -42.5, -40,   -37.5, -35,   -32.5, -30,   -27.5, -25,   -22.5, -20,
                                  -17.5, -15,   -12.5, -10,   -7.5,  -5,    -2.5,  0,     0,     -5};

// Settles a standing player for a tick, then holds the jump key through the table.
void expect_jump_table(Player player, const WorldGrid *grid) {
  tick(&player, grid);
  ASSERT_EQ(player.state.player_y, STANDING_Y);
  ASSERT_NE(player.state.on_ground, 0);
  hold(&player, ALLEGRO_KEY_UP, true);
  for (int t = 1; t <= 43; ++t) {
    tick(&player, grid);
    EXPECT_EQ(player.state.player_y - STANDING_Y, JUMP_TABLE[t - 1]) << "tick " << t;
    if (t == 1 || t == 11 || t == 42) {
      EXPECT_NE(player.state.on_ground, 0) << "tick " << t;
    }
    if (t == 12 || t == 41) {
      EXPECT_EQ(player.state.on_ground, 0) << "tick " << t;
    }
  }
  EXPECT_EQ(player.state.player_x, 30.0f);
}

TEST(Jumping, HoldingTheKeyOnFlatGroundRunsTheDoubleJumpCycle) {
  const auto grid = flat_world();
  expect_jump_table(player_at(30.0f, STANDING_Y), grid.get());
}

TEST(Jumping, TheCycleIsTheSameWhenTheTickCountWraps) {
  // After about 414 days at 60 ticks a second; the end of the last jump lies far behind.
  const auto grid = flat_world();
  // The last row's jump ended 2^31 ticks before the first tick, which must
  // bring it forward at once or it reads as a jump still to come.
  const std::int32_t rows[][2] = {{1, 7}, {5, 7}, {12, 7}, {30, 7}, {5, -6}};
  for (const auto &row : rows) {
    const std::int32_t before_wrap = row[0];
    SCOPED_TRACE(before_wrap);
    Player player = player_at(30.0f, STANDING_Y);
    player.tick_count = INT32_MAX - before_wrap;
    player.jump_end_tick = row[1];
    expect_jump_table(player, grid.get());
  }
}

TEST(Jumping, AKeyHeldForOneTickGainsFivePixels) {
  const auto grid = flat_world();
  Player player = player_at(30.0f, STANDING_Y);
  tick(&player, grid.get());
  hold(&player, ALLEGRO_KEY_UP, true);
  tick(&player, grid.get());
  EXPECT_EQ(player.state.player_y, STANDING_Y - 5.0f);
  hold(&player, ALLEGRO_KEY_UP, false);
  tick(&player, grid.get());
  EXPECT_EQ(player.state.player_y, STANDING_Y - 2.5f);
  tick(&player, grid.get(), 10);
  EXPECT_EQ(player.state.player_y, STANDING_Y);
}

TEST(Jumping, NoJumpStartsOnTheFirstTickOfTheGameOrInFreeAir) {
  const auto grid = flat_world();
  Player player = player_at(30.0f, STANDING_Y);
  player.tick_count = 0;
  player.state.on_ground = 1;
  hold(&player, ALLEGRO_KEY_UP, true);
  tick(&player, grid.get());
  EXPECT_EQ(player.state.player_y, STANDING_Y);

  // Falling from the start, on_ground still clear: the key does nothing.
  Player falling = player_at(30.0f, 800.0f);
  hold(&falling, ALLEGRO_KEY_UP, true);
  tick(&falling, grid.get(), 4);
  EXPECT_EQ(falling.state.player_y, 810.0f);
}

TEST(Jumping, UnderALowCeilingThePlayerBobsUpFiveAndBack) {
  // Solid row 97 (y 970 to 980) sits right on top of the standing box.
  auto grid = flat_world();
  fill(grid.get(), 0, WORLD_COLUMNS - 1, 97, 97, DIRT);
  Player player = player_at(30.0f, STANDING_Y);
  tick(&player, grid.get());
  hold(&player, ALLEGRO_KEY_UP, true);
  for (int i = 0; i < 36; ++i) {
    tick(&player, grid.get());
    const float cycle[3] = {-5.0f, -2.5f, 0.0f};
    EXPECT_EQ(player.state.player_y - STANDING_Y, cycle[i % 3]) << "tick " << i + 1;
  }
}

TEST(Jumping, TheHeadTestCoversBothColumnsTheBoxReachesInto) {
  // One solid cell in the row of the standing box's top edge (row 98).
  const struct {
    int solid_column;
    float x;
    bool rises;
  } cases[] = {
      {30, 300.0f, false},  // the player's own column
      {31, 300.0f, true},   // flush with column 31: the box does not reach into it
      {31, 302.5f, false}, {31, 307.5f, false}, {29, 300.0f, true}, {32, 307.5f, true},
  };
  for (const auto &c : cases) {
    auto grid = flat_world();
    fill(grid.get(), c.solid_column, c.solid_column, 98, 98, DIRT);
    Player player = player_at(c.x, STANDING_Y);
    tick(&player, grid.get());
    hold(&player, ALLEGRO_KEY_UP, true);
    tick(&player, grid.get());
    EXPECT_EQ(player.state.player_y, c.rises ? STANDING_Y - 5.0f : STANDING_Y)
        << "solid column " << c.solid_column << ", x " << c.x;
  }
}

TEST(Walking, WallsStopTheBoxFlushWithTheirColumn) {
  auto grid = flat_world();
  fill(grid.get(), 29, 29, 98, 99, DIRT);
  fill(grid.get(), 31, 31, 98, 99, DIRT);
  Player player = player_at(302.5f, STANDING_Y);
  hold(&player, ALLEGRO_KEY_RIGHT, true);
  tick(&player, grid.get(), 5);
  EXPECT_EQ(player.state.player_x, 302.5f);  // column 31 blocks any step reaching into it

  player = player_at(302.5f, STANDING_Y);
  hold(&player, ALLEGRO_KEY_LEFT, true);
  tick(&player, grid.get(), 5);
  EXPECT_EQ(player.state.player_x, 300.0f);

  // A wall one cell high at the feet (row r + 1) stops the walk too.
  grid = flat_world();
  fill(grid.get(), 35, 35, 99, 99, DIRT);
  player = player_at(300.0f, STANDING_Y);
  hold(&player, ALLEGRO_KEY_RIGHT, true);
  tick(&player, grid.get(), 20);
  EXPECT_EQ(player.state.player_x, 340.0f);
  EXPECT_EQ(player.state.player_y, STANDING_Y);

  // And one at head height (row r) on the left.
  fill(grid.get(), 25, 25, 98, 98, DIRT);
  player = player_at(300.0f, STANDING_Y);
  hold(&player, ALLEGRO_KEY_LEFT, true);
  tick(&player, grid.get(), 20);
  EXPECT_EQ(player.state.player_x, 260.0f);
}

TEST(Walking, BothKeysHeldStepLeftThenRightFromTheStartCells) {
  {
    const auto grid = flat_world();
    Player player = player_at(300.0f, STANDING_Y);
    hold(&player, ALLEGRO_KEY_LEFT, true);
    hold(&player, ALLEGRO_KEY_RIGHT, true);
    tick(&player, grid.get(), 10);
    EXPECT_EQ(player.state.player_x, 300.0f) << "both sides free";
  }
  {
    // Flush with a wall on the left: out 2.5, then back and out again every tick.
    auto grid = flat_world();
    fill(grid.get(), 29, 29, 98, 99, DIRT);
    Player player = player_at(300.0f, STANDING_Y);
    hold(&player, ALLEGRO_KEY_LEFT, true);
    hold(&player, ALLEGRO_KEY_RIGHT, true);
    for (int i = 0; i < 10; ++i) {
      tick(&player, grid.get());
      EXPECT_EQ(player.state.player_x, 302.5f) << "left blocked, tick " << i + 1;
    }
  }
  {
    // Flush with a wall on the right: the left step is undone by the right one.
    auto grid = flat_world();
    fill(grid.get(), 31, 31, 98, 99, DIRT);
    Player player = player_at(300.0f, STANDING_Y);
    hold(&player, ALLEGRO_KEY_LEFT, true);
    hold(&player, ALLEGRO_KEY_RIGHT, true);
    for (int i = 0; i < 10; ++i) {
      tick(&player, grid.get());
      EXPECT_EQ(player.state.player_x, 300.0f) << "right blocked, tick " << i + 1;
    }
  }
}

TEST(WorldEdges, ThePlayerStaysInsideTheWorldWhateverTheCellsHold) {
  auto grid = flat_world();
  Player player = player_at(5.0f, STANDING_Y);
  hold(&player, ALLEGRO_KEY_LEFT, true);
  tick(&player, grid.get(), 10);
  EXPECT_EQ(player.state.player_x, 0.0f);

  // Air in column 0 beside the player changes nothing at the left edge.
  fill(grid.get(), 0, 0, 0, 99, UNDERGROUND);
  player = player_at(0.0f, STANDING_Y);
  hold(&player, ALLEGRO_KEY_LEFT, true);
  tick(&player, grid.get(), 10);
  EXPECT_EQ(player.state.player_x, 0.0f);

  // A record read from a file may put the player left of the world: it
  // walks no further out, and walks back in.
  player = player_at(-5.0f, STANDING_Y);
  hold(&player, ALLEGRO_KEY_LEFT, true);
  tick(&player, grid.get(), 4);
  EXPECT_EQ(player.state.player_x, -5.0f);
  hold(&player, ALLEGRO_KEY_LEFT, false);
  hold(&player, ALLEGRO_KEY_RIGHT, true);
  tick(&player, grid.get(), 4);
  EXPECT_EQ(player.state.player_x, 5.0f);

  player = player_at(7180.0f, STANDING_Y);
  hold(&player, ALLEGRO_KEY_RIGHT, true);
  tick(&player, grid.get(), 3);
  EXPECT_EQ(player.state.player_x, 7187.5f);
  tick(&player, grid.get(), 10);
  EXPECT_EQ(player.state.player_x, 7187.5f);

  // The floor holds the player even with every cell below dug out.
  grid = air_world();
  player = player_at(500.0f, 4700.0f);
  tick(&player, grid.get(), 8);
  EXPECT_EQ(player.state.player_y, 4720.0f);
  tick(&player, grid.get());
  EXPECT_NE(player.state.on_ground, 0);
  tick(&player, grid.get(), 20);
  EXPECT_EQ(player.state.player_y, 4720.0f);
  hold(&player, ALLEGRO_KEY_LEFT, true);
  tick(&player, grid.get(), 4);
  EXPECT_EQ(player.state.player_x, 490.0f);
  EXPECT_EQ(player.state.player_y, 4720.0f);
}

TEST(WorldEdges, BlocksBuiltUpToTheTopRowCarryThePlayerAboveTheWorld) {
  // Nothing above row 0 exists: the player lands on the top row, jumps into
  // the open sky above it and lands on it again. Rows truncate toward zero,
  // so every y from -30 to -20 counts as two rows above row 0 and the box
  // comes to rest at -27.5, 7.5 pixels into the top row.
  auto grid = flat_world();
  fill(grid.get(), 10, 12, 0, 99, DIRT);
  Player player = player_at(110.0f, -50.0f);
  tick(&player, grid.get(), 20);
  EXPECT_EQ(player.state.player_y, -27.5f);
  EXPECT_NE(player.state.on_ground, 0);

  hold(&player, ALLEGRO_KEY_UP, true);
  tick(&player, grid.get());
  EXPECT_EQ(player.state.player_y, -32.5f);
  hold(&player, ALLEGRO_KEY_UP, false);
  tick(&player, grid.get(), 10);
  EXPECT_EQ(player.state.player_y, -27.5f);

  // Walking off the built column, the player drops back down to the ground.
  hold(&player, ALLEGRO_KEY_RIGHT, true);
  tick(&player, grid.get(), 12);
  hold(&player, ALLEGRO_KEY_RIGHT, false);
  tick(&player, grid.get(), 500);
  EXPECT_EQ(player.state.player_x, 140.0f);
  EXPECT_EQ(player.state.player_y, STANDING_Y);
}

TEST(Support, TheBoxStandsOnColumnCPlusOneOnlyWhenItReachesIntoIt) {
  // Column 5 has a pit down to row 105; column 6 is ground.
  auto grid = flat_world();
  fill(grid.get(), 5, 5, 100, 105, AIR);
  Player player = player_at(52.5f, STANDING_Y);
  tick(&player, grid.get(), 10);
  EXPECT_EQ(player.state.player_y, STANDING_Y);
  EXPECT_NE(player.state.on_ground, 0);

  player = player_at(50.0f, STANDING_Y);
  tick(&player, grid.get(), 40);
  EXPECT_EQ(player.state.player_y, 1040.0f);
}

TEST(Support, AFallBesideALedgeCanEndUpToSevenAndAHalfPixelsIntoIt) {
  // A one-row ledge in row 100 from column 6; the player falls flush past it
  // in column 5 and steps right onto it at every possible height.
  auto grid = air_world();
  fill(grid.get(), 0, WORLD_COLUMNS - 1, 200, WORLD_ROWS - 1, DIRT);
  fill(grid.get(), 6, 15, 100, 100, DIRT);
  const float ledge_stand = GROUND_TOP - 20.0f;
  const float ground_stand = 2000.0f - 20.0f;
  float deepest_rest = 0.0f;
  for (int fall_ticks = 0; fall_ticks < 60; ++fall_ticks) {
    Player player = player_at(50.0f, 900.0f);
    tick(&player, grid.get(), fall_ticks);
    hold(&player, ALLEGRO_KEY_RIGHT, true);
    tick(&player, grid.get());
    hold(&player, ALLEGRO_KEY_RIGHT, false);
    tick(&player, grid.get(), 500);
    const float y = player.state.player_y;
    ASSERT_TRUE(y == ground_stand || (y >= ledge_stand && y <= ledge_stand + 7.5f))
        << "after " << fall_ticks << ": " << y;
    if (y != ground_stand) deepest_rest = std::max(deepest_rest, y - ledge_stand);
  }
  EXPECT_EQ(deepest_rest, 7.5f);

  // Resting 7.5 pixels deep, the player still walks along the ledge.
  Player player = player_at(52.5f, ledge_stand + 7.5f);
  tick(&player, grid.get());
  EXPECT_EQ(player.state.player_y, ledge_stand + 7.5f);
  hold(&player, ALLEGRO_KEY_RIGHT, true);
  tick(&player, grid.get(), 10);
  EXPECT_EQ(player.state.player_x, 77.5f);
  EXPECT_EQ(player.state.player_y, ledge_stand + 7.5f);
}

TEST(Support, TheDownKeyAndOddKeyBytesBehaveAsThePlayerExpects) {
  const auto grid = flat_world();
  Player player = player_at(300.0f, STANDING_Y);
  hold(&player, ALLEGRO_KEY_DOWN, true);
  tick(&player, grid.get(), 10);
  EXPECT_EQ(player.state.player_x, 300.0f);
  EXPECT_EQ(player.state.player_y, STANDING_Y);

  // A record read from a file may hold any byte: non-zero means held.
  player.state.keys[ALLEGRO_KEY_RIGHT] = 0xA5;
  tick(&player, grid.get(), 2);
  EXPECT_EQ(player.state.player_x, 305.0f);
}

// On the 2.5-pixel lattice.
bool on_lattice(float p) { return std::fmod(static_cast<double>(p), 2.5) == 0.0; }

void expect_inside_the_world(const GameState &state, int episode, int step) {
  ASSERT_GE(state.player_x, 0.0f) << "episode " << episode << " tick " << step;
  ASSERT_LT(state.player_x, 7190.0f) << "episode " << episode << " tick " << step;
  ASSERT_LE(state.player_y, 4720.0f) << "episode " << episode << " tick " << step;
  // Support ends three rows above the world; two jumps reach 50 more at most.
  ASSERT_GT(state.player_y, -100.0f) << "episode " << episode << " tick " << step;
  ASSERT_TRUE(on_lattice(state.player_x) && on_lattice(state.player_y))
      << "episode " << episode << " tick " << step << ": " << state.player_x << ", " << state.player_y;
}

TEST(GeneratedWorld, TheStartPositionFallsOntoTheSurfaceAndWalks) {
  init_allegro_for_tests();
  BlockKindTable table{};
  load_block_kinds(&table);
  auto grid = std::make_unique<WorldGrid>();
  generate_world(grid.get(), &table, 1234u);

  Player player{start_game_state(), 0, 0};
  tick(&player, grid.get(), 200);
  EXPECT_EQ(player.state.player_y, 1190.0f);  // row 121 is the first solid row
  EXPECT_NE(player.state.on_ground, 0);
  hold(&player, ALLEGRO_KEY_RIGHT, true);
  tick(&player, grid.get(), 60);
  EXPECT_EQ(player.state.player_x, 180.0f);
}

TEST(GeneratedWorld, RandomKeysAndDiggingNeverTakeThePlayerOutOfTheWorld) {
  init_allegro_for_tests();
  BlockKindTable table{};
  load_block_kinds(&table);
  auto grid = std::make_unique<WorldGrid>();
  generate_world(grid.get(), &table, 20240229u);

  std::mt19937 random(7u);
  auto chance = [&random](int percent) { return std::uniform_int_distribution<int>(0, 99)(random) < percent; };
  auto between = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  const int keys[] = {ALLEGRO_KEY_UP, ALLEGRO_KEY_DOWN, ALLEGRO_KEY_LEFT, ALLEGRO_KEY_RIGHT};

  for (int episode = 0; episode < 40; ++episode) {
    // Starts on the lattice anywhere in the world, often at its edges.
    Player player{start_game_state(), between(0, 1000), 0};
    const int x_steps = chance(30) ? (chance(50) ? 0 : 2875) : between(0, 2875);
    const int y_steps = chance(30) ? (chance(50) ? -8 : 1888) : between(-8, 1888);
    player.state.player_x = static_cast<float>(x_steps * 2.5);
    player.state.player_y = static_cast<float>(y_steps * 2.5);
    player.state.on_ground = chance(50) ? 1 : 0;

    for (int step = 0; step < 1500; ++step) {
      // Keys change now and then and are held for a while, some as odd bytes.
      if (chance(10)) {
        for (int key : keys) player.state.keys[key] = chance(50) ? (chance(10) ? 0x80 : 1) : 0;
      }
      // Dig or build around the player, now and then right at the grid's edges.
      if (chance(30)) {
        int column = cell_of_pixel(player.state.player_x) + between(-3, 3);
        int row = cell_of_pixel(player.state.player_y) + between(-4, 5);
        if (chance(5)) column = chance(50) ? 0 : WORLD_COLUMNS - 1;
        if (chance(5)) row = chance(50) ? 0 : WORLD_ROWS - 1;
        if (cell_in_grid(column, row)) {
          set_cell_kind(&cell_at(grid.get(), column, row), table.kinds[between(0, BLOCK_KIND_COUNT - 1)]);
        }
      }
      tick(&player, grid.get());
      expect_inside_the_world(player.state, episode, step);
    }
  }
}

}  // namespace
