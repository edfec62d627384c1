#include "player/mouse.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "persistence/save_file.h"
#include "world_test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr int LEFT = 1;
constexpr int RIGHT = 2;
constexpr int MIDDLE = 3;

class Mouse : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    fill(BLOCK_AIR);
    // A player in the middle of a 1440 x 900 window whose camera follows it:
    // the pointer at (mx, my) names column 28 + mx / 10 and row 55 + my / 10.
    state = start_game_state();
    state.player_x = 1000.0f;  // column 100
    state.player_y = 1000.0f;  // row 100

    dir = make_scratch_dir("clodmere-mouse");
    ASSERT_FALSE(dir.empty());
    old_cwd = fs::current_path();
    fs::current_path(dir);  // Save and Load clicks use the working directory
  }

  void TearDown() override {
    fs::current_path(old_cwd);
    remove_scratch_dir(dir);
  }

  BlockKind kind_at(int column, int row) { return static_cast<BlockKind>(cell_at(grid.get(), column, row).id); }

  // Presses `button` at window pixel (mx, my); returns the console output.
  std::string press_at(int mx, int my, int button) {
    ALLEGRO_EVENT event{};
    event.type = ALLEGRO_EVENT_MOUSE_BUTTON_DOWN;
    event.mouse.x = mx;
    event.mouse.y = my;
    event.mouse.button = static_cast<unsigned int>(button);
    testing::internal::CaptureStdout();
    state = handle_mouse_down(event, grid.get(), table.get(), state);
    return testing::internal::GetCapturedStdout();
  }

  // Presses over a cell, for the player at (1000, 1000) in a 1440 x 900 window.
  std::string press_cell(int column, int row, int button) {
    return press_at((column - 28) * 10 + 5, (row - 55) * 10 + 5, button);
  }

  GameState state{};
  fs::path dir;
  fs::path old_cwd;
};

TEST_F(Mouse, ThePointerIsCutToWholeCellsBeforeTheCameraIsAdded) {
  // Camera offset 1005 pixels each way: world x 1012 lies in column 101 and
  // world y 1562 in row 156, yet the click names column 100 and row 155.
  state.player_x = 1725.0f;
  state.player_y = 2005.0f;
  put(100, 155, BLOCK_STONE);
  EXPECT_EQ(press_at(7, 7, RIGHT), "Clicked block coords: 1000.000000x1550.000000\n");

  // Near the left and top edges the window shows the world from (0, 0).
  state.player_x = 300.0f;
  state.player_y = 100.0f;
  EXPECT_EQ(press_at(305, 1215, RIGHT), "Clicked block coords: 300.000000x1210.000000\n");

  // Near the right edge the last 144 columns are shown.
  state.player_x = 6490.0f;
  EXPECT_EQ(press_at(15, 5, RIGHT), "Clicked block coords: 5770.000000x0.000000\n");

  // Where each edge case takes over, in a window whose halves are not whole
  // cells (683 and 384 pixels): the cell jumps by one at the right and bottom switches.
  state.screen_width = 1367;
  state.screen_height = 769;
  const struct {
    float x, y;
    const char *console;
  } switches[] = {
      {682.0f, 383.0f, "Clicked block coords: 10.000000x10.000000\n"},        // still the left and top edge cases
      {6517.0f, 4416.0f, "Clicked block coords: 5840.000000x4040.000000\n"},  // still centred
      {6518.0f, 4417.0f, "Test\nClicked block coords: 5850.000000x4050.000000\n"},
  };
  for (const auto &at : switches) {
    state.player_x = at.x;
    state.player_y = at.y;
    EXPECT_EQ(press_at(15, 15, RIGHT), at.console) << at.x << ", " << at.y;
  }
}

TEST_F(Mouse, TheCameraHeldAtTheBottomSaysTestFirst) {
  state.player_y = 4352.5f;  // beyond 4800 - 900 / 2
  EXPECT_EQ(press_at(5, 895, RIGHT), "Test\nClicked block coords: 280.000000x4790.000000\n");
  state.player_y = 4350.0f;
  EXPECT_EQ(press_at(5, 5, RIGHT), "Clicked block coords: 280.000000x3900.000000\n");
}

TEST_F(Mouse, ClicksBeyondTheGridChangeNothingAndReadNothing) {
  // A full-screen window one pixel larger than the monitor, the camera held at the bottom-right.
  state.screen_width = 1921;
  state.screen_height = 1201;
  state.player_x = 7187.5f;
  state.player_y = 4720.0f;
  state.dirt_count = 5;
  const GameState before = state;
  EXPECT_EQ(press_at(1920, 100, RIGHT), "Test\nClicked block coords: 7200.000000x3700.000000\n");
  EXPECT_EQ(press_at(100, 1200, LEFT), "Test\nClicked block coords: 5380.000000x4800.000000\n");
  EXPECT_EQ(state.dirt_count, before.dirt_count);
  EXPECT_EQ(cell_in_reach(grid.get(), state, 720, 475), 0);
  EXPECT_EQ(cell_in_reach(grid.get(), state, 719, 480), 0);
}

TEST_F(Mouse, ReachIsStrictlyWithinFiftyPixelsOfTheCorner) {
  struct Case {
    float player_x;
    int first, last;  // the columns in reach at row 100
  } cases[] = {{1000.0f, 96, 104}, {1002.5f, 96, 105}, {1005.0f, 96, 105}, {1007.5f, 96, 105}};
  for (const Case &c : cases) {
    state.player_x = c.player_x;
    for (int column = 90; column <= 110; ++column) {
      EXPECT_EQ(cell_in_reach(grid.get(), state, column, 100), column >= c.first && column <= c.last)
          << "x " << c.player_x << ", column " << column;
    }
  }
  for (int row = 90; row <= 110; ++row) {
    EXPECT_EQ(cell_in_reach(grid.get(), state, 100, row), row >= 96 && row <= 104) << "row " << row;
  }
}

TEST_F(Mouse, DiggingCountsTheKindAndLeavesSkyOrUnderground) {
  state.player_y = 1200.0f;  // rows 116 to 124 in reach; the pointer row is 75 + my / 10
  fill(BLOCK_DIRT);
  put(100, 119, BLOCK_AIR);  // opens rows 120 and 118
  put(100, 122, BLOCK_AIR);  // opens rows 121 and 123
  put(100, 120, BLOCK_GRASS);
  put(100, 121, BLOCK_GOLD);
  press_at(725, 455, LEFT);
  press_at(725, 465, LEFT);
  EXPECT_EQ(kind_at(100, 120), BLOCK_AIR);
  EXPECT_EQ(kind_at(100, 121), BLOCK_UNDERGROUND);
  EXPECT_EQ(cell_at(grid.get(), 100, 121).x, 1000.0f);
  EXPECT_EQ(cell_at(grid.get(), 100, 121).y, 1210.0f);
  EXPECT_EQ(state.grass_count, 1);
  EXPECT_EQ(state.gold_count, 1);
  EXPECT_EQ(state.dirt_count + state.stone_count, 0);

  // Just out of reach, or buried: nothing happens and nothing but the report is printed.
  put(100, 126, BLOCK_AIR);
  EXPECT_EQ(press_at(725, 505, LEFT), "Clicked block coords: 1000.000000x1250.000000\n");
  EXPECT_EQ(kind_at(100, 125), BLOCK_DIRT);
  press_at(715, 485, LEFT);  // column 99, row 123: no open neighbour
  EXPECT_EQ(kind_at(99, 123), BLOCK_DIRT);
  EXPECT_EQ(state.dirt_count, 0);

  // A full count stays full; the block is dug all the same.
  state.dirt_count = INT32_MAX;
  press_at(725, 485, LEFT);
  EXPECT_EQ(kind_at(100, 123), BLOCK_UNDERGROUND);
  EXPECT_EQ(state.dirt_count, INT32_MAX);
}

TEST_F(Mouse, ANullCellIsNeverDugNorReplaced) {
  put(101, 102, BLOCK_NULL);  // in reach, open space all around
  state.dirt_count = 3;
  press_cell(101, 102, LEFT);
  press_cell(101, 102, RIGHT);
  EXPECT_EQ(kind_at(101, 102), BLOCK_NULL);
  EXPECT_EQ(state.dirt_count, 3);
}

TEST_F(Mouse, PlacingSpendsTheSelectedKindIntoOpenSpace) {
  state.stone_count = 1;
  state.selected_block = 3;
  press_cell(100, 101, MIDDLE);  // inside the player's own box: allowed
  EXPECT_EQ(kind_at(100, 101), BLOCK_STONE);
  EXPECT_EQ(state.stone_count, 0);
  press_cell(101, 101, RIGHT);  // none left
  EXPECT_EQ(kind_at(101, 101), BLOCK_AIR);

  // A left click on open space never places.
  state.dirt_count = 2;
  state.selected_block = 1;
  press_cell(101, 101, LEFT);
  EXPECT_EQ(kind_at(101, 101), BLOCK_AIR);
  press_cell(101, 101, RIGHT);
  EXPECT_EQ(kind_at(101, 101), BLOCK_DIRT);
  EXPECT_EQ(state.dirt_count, 1);
  EXPECT_EQ(cell_at(grid.get(), 101, 101).x, 1010.0f);

  // Solid cells and out-of-reach cells are not replaced.
  press_cell(101, 101, RIGHT);
  press_cell(105, 100, RIGHT);
  EXPECT_EQ(kind_at(105, 100), BLOCK_AIR);
  EXPECT_EQ(state.dirt_count, 1);

  // A loaded file may hold any selection: only 1 to 4 place anything.
  state.grass_count = state.stone_count = state.gold_count = 9;
  for (int selected : {0, 5, 6, -1}) {
    state.selected_block = selected;
    press_cell(102, 101, RIGHT);
    EXPECT_EQ(kind_at(102, 101), BLOCK_AIR) << "selected " << selected;
  }
}

TEST_F(Mouse, APocketOfOneCellCannotBeFilled) {
  fill(BLOCK_STONE);
  put(102, 102, BLOCK_AIR);
  state.dirt_count = 1;
  press_cell(102, 102, RIGHT);
  EXPECT_EQ(kind_at(102, 102), BLOCK_AIR);
  EXPECT_EQ(state.dirt_count, 1);
}

TEST_F(Mouse, TheWorldsEdgesDoNotExposeACell) {
  // Column 0 and row 0 are solid with solid neighbours inside the grid.
  fill(BLOCK_DIRT);
  put(1, 4, BLOCK_AIR);
  state.player_x = 0.0f;
  state.player_y = 0.0f;
  EXPECT_EQ(cell_in_reach(grid.get(), state, 0, 0), 0);
  EXPECT_EQ(cell_in_reach(grid.get(), state, 0, 2), 0);
  EXPECT_EQ(cell_in_reach(grid.get(), state, 0, 4), 1);
  state.player_x = 7187.5f;
  EXPECT_EQ(cell_in_reach(grid.get(), state, 719, 0), 0);
}

TEST_F(Mouse, SaveAndLoadAreasHaveExactEdges) {
  // The player is far from the window's corner, so no world cell there is in reach.
  fill(BLOCK_DIRT);
  put(100, 102, BLOCK_AIR);
  const std::string saved = "Saved the world!\n";
  const std::string report_prefix = "Clicked block coords: ";
  auto console = press_at(1341, 876, LEFT);
  EXPECT_EQ(console.rfind(report_prefix, 0), 0u) << "the report comes first";
  EXPECT_NE(console.find(saved), std::string::npos);
  EXPECT_NE(press_at(1400, 899, LEFT).find(saved), std::string::npos);
  EXPECT_EQ(press_at(1340, 899, LEFT).find(saved), std::string::npos);
  EXPECT_EQ(press_at(1341, 875, LEFT).find(saved), std::string::npos);

  // The Load area starts one pixel further right and brings the save back.
  state.dirt_count = 40;
  put(100, 102, BLOCK_STONE);
  console = press_at(1401, 876, LEFT);
  EXPECT_NE(console.find("Loaded the world!\n"), std::string::npos) << console;
  EXPECT_EQ(console.find(saved), std::string::npos);
  EXPECT_EQ(state.dirt_count, 0);
  EXPECT_EQ(kind_at(100, 102), BLOCK_AIR);
}

TEST_F(Mouse, OtherButtonsInTheCornerNeverSaveOrLoad) {
  for (int button : {RIGHT, MIDDLE}) {
    for (int mx : {1350, 1420}) {
      const std::string console = press_at(mx, 890, button);
      EXPECT_EQ(console.find('\n'), console.size() - 1) << "only the report line: " << console;
    }
  }
  EXPECT_FALSE(fs::exists(SAVE_FILE_NAME));
  EXPECT_EQ(state.load_failed, 0);
}

TEST_F(Mouse, ALoadClickWithoutASaveKeepsTheWorld) {
  put(100, 102, BLOCK_GOLD);
  state.gold_count = 2;
  const std::string console = press_at(1439, 899, LEFT);
  EXPECT_NE(console.find("No save found\n"), std::string::npos);
  EXPECT_EQ(state.load_failed, 1);
  EXPECT_EQ(state.gold_count, 2);
  EXPECT_EQ(kind_at(100, 102), BLOCK_GOLD);
}

}  // namespace
