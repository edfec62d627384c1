#include "world/draw_world.h"

#include <allegro5/allegro_font.h>
#include <allegro5/allegro_ttf.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "hud/hud.h"
#include "world/camera.h"
#include "world/random.h"
#include "world/terrain.h"
#include "world/world.h"
#include "world_test_support.h"

namespace {

// One camera case: where a display of W x H shows the world around a player
// at (px, py), as worked out by hand from the camera's rules.
struct ViewCase {
  const char *name;
  int width, height;
  float px, py;
  int first_column, column_x;  // world column at screen column 0, and its screen x
  int last_column;             // last world column the frame counts
  int first_row, row_y;        // world row at screen row 0, and its screen y
  int last_row;                // last world row that gets tiles
  int player_x, player_y;      // the player's box on screen
};

const ViewCase VIEW_CASES[] = {
    {"start position", 1200, 700, 30.0f, 800.0f, 0, 0, 119, 45, 0, 110, 30, 350},
    {"x 6590 still centred", 1200, 700, 6590.0f, 800.0f, 599, 0, 719, 45, 0, 110, 600, 350},
    {"x 6591 right edge", 1200, 700, 6591.0f, 800.0f, 600, 0, 719, 45, 0, 110, 591, 350},
    {"x 599.5 left edge", 1200, 700, 599.5f, 800.0f, 0, 0, 119, 45, 0, 110, 599, 350},
    {"y 4460 bottom edge", 1200, 700, 3000.0f, 4460.0f, 240, 0, 360, 410, 0, 473, 600, 360},
    {"y 4450 still centred", 1200, 700, 3000.0f, 4450.0f, 240, 0, 360, 410, 0, 475, 600, 350},
    {"y 300 top edge", 1200, 700, 3000.0f, 300.0f, 240, 0, 360, 0, 0, 64, 600, 300},
    {"y 803.7 three pixels up", 1200, 700, 3000.0f, 803.7f, 240, 0, 360, 45, -3, 110, 600, 350},
    {"1440 x 900 centred", 1440, 900, 3605.0f, 2403.0f, 288, -5, 432, 195, -3, 280, 720, 450},
    {"1680 x 1050 centred", 1680, 1050, 3605.0f, 2403.0f, 276, -5, 444, 188, -3, 288, 840, 525},
    {"1680 x 1050 bottom right", 1680, 1050, 7190.0f, 4780.0f, 552, 0, 719, 375, 0, 473, 1670, 1030},
    // Full-screen sizes: half of 1367 is no multiple of 10, so the centred
    // column is trunc((px - 683) / 10), one left of trunc(px) / 10 - 68.
    {"1921 x 1201 centred", 1921, 1201, 3605.0f, 2403.0f, 264, -5, 456, 180, -3, 295, 960, 600},
    {"1367 x 769 centred", 1367, 769, 3601.0f, 2403.0f, 291, -1, 427, 202, -3, 273, 683, 384},
    {"1367 x 769 right and bottom edges", 1367, 769, 7000.0f, 4500.0f, 584, 0, 719, 404, 0, 473, 1167, 469},
};

GameState state_for(const ViewCase &view, ALLEGRO_BITMAP *player) {
  GameState state = start_game_state();
  state.player_x = view.px;
  state.player_y = view.py;
  state.screen_width = view.width;
  state.screen_height = view.height;
  state.player_bitmap = player;
  return state;
}

TEST(Camera, PlacesColumnsRowsAndPlayerAsTheEdgesRequire) {
  for (const ViewCase &view : VIEW_CASES) {
    SCOPED_TRACE(view.name);
    const CameraView camera = place_camera(view.px, view.py, view.width, view.height);
    const int shown_columns = view.last_column - view.first_column + 1;
    EXPECT_EQ(camera.columns.count, shown_columns);
    EXPECT_EQ(camera.columns.first_cell, view.first_column);
    EXPECT_EQ(camera.columns.origin, view.column_x);
    EXPECT_EQ(camera.columns.player_screen, view.player_x);
    EXPECT_EQ(camera.drawn_columns.begin, 0);
    EXPECT_EQ(camera.drawn_columns.end, shown_columns);
    EXPECT_EQ(camera.rows.first_cell, view.first_row);
    EXPECT_EQ(camera.rows.origin, view.row_y);
    EXPECT_EQ(camera.rows.player_screen, view.player_y);
    EXPECT_EQ(camera.drawn_rows.begin, 0);
    EXPECT_EQ(camera.drawn_rows.end, view.last_row - view.first_row + 1);
  }
  // Rows counted as opposed to drawn: the bottom edge counts one fewer than the top.
  EXPECT_EQ(place_camera(30.0f, 800.0f, 1200, 700).rows.count, 71);
  EXPECT_EQ(place_camera(30.0f, 4460.0f, 1200, 700).rows.count, 69);
  EXPECT_EQ(place_camera(30.0f, 300.0f, 1200, 700).rows.count, 70);
  // Right edge counts W / 10 columns like the left edge.
  EXPECT_EQ(place_camera(6591.0f, 800.0f, 1200, 700).columns.count, 120);
}

TEST(Camera, NeverNamesACellOutsideTheGridNorTheFloor) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const float positions[] = {-inf,    -3.0e38f, -1.0e6f, -5.5f,  0.0f,    4.0f, 599.5f, 2400.0f,
                             4795.0f, 7199.9f,  7200.0f, 1.0e6f, 3.0e38f, inf,  nan};
  const int sizes[] = {-2147483647 - 1, -1000, 0, 5, 55, 61, 700, 1201, 1921, 4800, 7200, 9000, 2147483647};
  for (float px : positions) {
    for (float py : positions) {
      for (int w : sizes) {
        for (int h : sizes) {
          const CameraView c = place_camera(px, py, w, h);
          if (c.drawn_columns.end > c.drawn_columns.begin) {
            ASSERT_GE(c.columns.first_cell + c.drawn_columns.begin, 0) << px << " " << w;
            ASSERT_LE(c.columns.first_cell + c.drawn_columns.end - 1, WORLD_COLUMNS - 1) << px << " " << w;
          }
          if (c.drawn_rows.end > c.drawn_rows.begin) {
            ASSERT_GE(c.rows.first_cell + c.drawn_rows.begin, 0) << py << " " << h;
            ASSERT_LE(c.rows.first_cell + c.drawn_rows.end - 1, WORLD_ROWS - 2) << py << " " << h;
          }
        }
      }
    }
  }
  // Every position a player can hold, at the menu's sizes, stays clear of the floor row.
  for (int h : {700, 900, 1050, 1201}) {
    for (int half_pixels = 0; half_pixels <= 2 * WORLD_HEIGHT; ++half_pixels) {
      const float py = 0.5f * static_cast<float>(half_pixels);
      const CameraView c = place_camera(30.0f, py, 1440, h);
      ASSERT_LT(c.rows.first_cell + c.drawn_rows.end - 1, WORLD_ROWS - 1) << py;
    }
  }
}

const Rgb BLACK{0, 0, 0}, AIR{125, 125, 255}, DIRT{160, 100, 25}, STONE{125, 125, 125}, GOLD{255, 255, 0},
    TEAL{0, 125, 125};

enum Drawing { FROM_PICTURE, CELL_BY_CELL };

class DrawWorld : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    player = al_create_bitmap(10, 20);
    al_set_target_bitmap(player);
    al_clear_to_color(al_map_rgb(0, 125, 125));
  }
  void TearDown() override {
    al_set_target_bitmap(nullptr);
    al_destroy_bitmap(player);
    if (font != nullptr) al_destroy_font(font);
    for (ALLEGRO_BITMAP *bitmap : {hud_box, hud_bar})
      if (bitmap != nullptr) al_destroy_bitmap(bitmap);
    for (ALLEGRO_BITMAP *frame : frames) al_destroy_bitmap(frame);
    release_world_picture(picture.get());
  }

  void mark(int column, int row, BlockKind kind) {
    set_cell_kind(&cell_at(grid.get(), column, row), table->kinds[kind]);
  }

  ALLEGRO_BITMAP *draw(const GameState &state, Drawing drawing = FROM_PICTURE, bool with_hud = false) {
    ALLEGRO_BITMAP *frame = al_create_bitmap(state.screen_width, state.screen_height);
    frames.push_back(frame);
    al_set_target_bitmap(frame);
    al_hold_bitmap_drawing(true);
    if (drawing == FROM_PICTURE) draw_world(picture.get(), grid.get(), state);
    if (drawing == CELL_BY_CELL) draw_world_cell_by_cell(grid.get(), state);
    // The HUD after the world, as the game draws it: its text needs the blending the world may switch off.
    if (with_hud) draw_hud(state, table.get(), font, hud_box, hud_bar);
    al_hold_bitmap_drawing(false);
    return frame;
  }

  // The game's font and HUD bitmaps, as start-up makes them (the bar as wide as the widest frame).
  void load_hud() {
    al_init_font_addon();
    ASSERT_TRUE(al_init_ttf_addon());
    font = al_load_font(CLODMERE_FONT_FILE, 12, 0);
    ASSERT_NE(font, nullptr) << "cannot load " << CLODMERE_FONT_FILE;
    hud_box = al_create_bitmap(40, 40);
    al_set_target_bitmap(hud_box);
    al_clear_to_color(al_map_rgb(165, 165, 165));
    hud_bar = al_create_bitmap(7200, 10);
    al_set_target_bitmap(hud_bar);
    al_clear_to_color(al_map_rgb(0, 0, 0));
  }

  std::unique_ptr<WorldPicture> picture = std::make_unique<WorldPicture>();
  ALLEGRO_BITMAP *player = nullptr;
  ALLEGRO_FONT *font = nullptr;
  ALLEGRO_BITMAP *hud_box = nullptr, *hud_bar = nullptr;
  std::vector<ALLEGRO_BITMAP *> frames;
};

// Expects the 10 x 10 square at screen (x, y) in `colour` where it is on screen.
void expect_cell(ALLEGRO_BITMAP *frame, int x, int y, Rgb colour, const char *what) {
  const int w = al_get_bitmap_width(frame), h = al_get_bitmap_height(frame);
  for (int dy : {0, 9}) {
    for (int dx : {0, 9}) {
      if (x + dx < 0 || y + dy < 0 || x + dx >= w || y + dy >= h) continue;
      EXPECT_EQ(pixel_at(frame, x + dx, y + dy), colour) << what << " at " << x + dx << "," << y + dy;
    }
  }
}

TEST_F(DrawWorld, EachCaseShowsItsColumnsRowsAndThePlayer) {
  for (const ViewCase &view : VIEW_CASES) {
    SCOPED_TRACE(view.name);
    fill(BLOCK_AIR);
    const int last_y = view.row_y + 10 * (view.last_row - view.first_row);
    const int last_x = view.column_x + 10 * (view.last_column - view.first_column);
    mark(view.first_column, view.first_row, BLOCK_GOLD);
    mark(view.first_column + 7, view.first_row + 5, BLOCK_STONE);
    mark(view.last_column, view.last_row, BLOCK_DIRT);
    // The row after the last drawn one is never drawn: the strip there stays black.
    if (view.last_row + 1 < WORLD_ROWS) mark(view.first_column + 2, view.last_row + 1, BLOCK_GOLD);
    ALLEGRO_BITMAP *frame = draw(state_for(view, player));

    expect_cell(frame, view.column_x, view.row_y, GOLD, "first column and row");
    expect_cell(frame, view.column_x + 70, view.row_y + 50, STONE, "marked inner cell");
    expect_cell(frame, view.column_x + 80, view.row_y + 50, AIR, "cell right of the inner cell");
    expect_cell(frame, last_x, last_y, DIRT, "last column and row");
    expect_cell(frame, view.column_x + 20, last_y + 10, BLACK, "row below the last drawn");
    // The strip below the tiles is black: 40 pixels or more (the centred
    // placement counts one row beyond the screen among the five left out).
    for (int y = last_y + 10; y < view.height; y += 7) {
      ASSERT_EQ(pixel_at(frame, view.width / 3, y), BLACK) << y;
    }
    ASSERT_GE(view.height - (last_y + 10), 40);

    // The player's 10 x 20 box, exactly.
    const int px = view.player_x, py = view.player_y;
    EXPECT_EQ(pixel_at(frame, px, py), TEAL);
    EXPECT_EQ(pixel_at(frame, px + 9, py + 19), TEAL);
    EXPECT_FALSE(pixel_at(frame, px - 1, py + 5) == TEAL);
    EXPECT_FALSE(pixel_at(frame, px + 10, py + 5) == TEAL);
    EXPECT_FALSE(pixel_at(frame, px + 5, py - 1) == TEAL);
    if (py + 20 < view.height) {
      EXPECT_FALSE(pixel_at(frame, px + 5, py + 20) == TEAL);
    }
  }
}

// Memory bitmaps, same size: true when every pixel matches.
bool same_pixels(ALLEGRO_BITMAP *a, ALLEGRO_BITMAP *b) {
  const int w = al_get_bitmap_width(a), h = al_get_bitmap_height(a);
  ALLEGRO_LOCKED_REGION *la = al_lock_bitmap(a, ALLEGRO_PIXEL_FORMAT_ABGR_8888, ALLEGRO_LOCK_READONLY);
  ALLEGRO_LOCKED_REGION *lb = al_lock_bitmap(b, ALLEGRO_PIXEL_FORMAT_ABGR_8888, ALLEGRO_LOCK_READONLY);
  bool same = true;
  for (int y = 0; y < h && same; ++y) {
    const auto *ra = static_cast<const char *>(la->data) + static_cast<long>(y) * la->pitch;
    const auto *rb = static_cast<const char *>(lb->data) + static_cast<long>(y) * lb->pitch;
    same = std::memcmp(ra, rb, static_cast<std::size_t>(w) * 4) == 0;
  }
  al_unlock_bitmap(a);
  al_unlock_bitmap(b);
  return same;
}

TEST_F(DrawWorld, ThePictureGivesTheSameFrameAsOneDrawPerCell) {
  load_hud();
  generate_world(grid.get(), table.get(), 2026);
  // Dug tunnels and placed blocks: Underground, and every kind.
  clodmere_srand(7);
  for (int k = 0; k < 20000; ++k) {
    const int c = clodmere_rand() % WORLD_COLUMNS, r = 100 + clodmere_rand() % 379;
    mark(c, r, static_cast<BlockKind>(2 + clodmere_rand() % 5));
  }
  for (int c = 100; c < 700; ++c) mark(c, 300, BLOCK_UNDERGROUND);
  // A sky row of stone, ending the band of sky above it.
  for (int c = 0; c < 300; ++c) mark(c, 100, BLOCK_STONE);
  // Cells that no kind was copied over must stay black, whatever surrounds them.
  for (int c = 3; c < WORLD_COLUMNS; c += 37) {
    for (int r : {5, 80, 240, 430, 470}) cell_at(grid.get(), c, r).tile = nullptr;
  }

  const auto expect_same_frames = [&](const GameState &state, const char *what) {
    SCOPED_TRACE(testing::Message() << what << " " << state.screen_width << "x" << state.screen_height << " at "
                                    << state.player_x << "," << state.player_y);
    ALLEGRO_BITMAP *reference = draw(state, CELL_BY_CELL, true);
    EXPECT_TRUE(same_pixels(draw(state, FROM_PICTURE, true), reference));
    for (ALLEGRO_BITMAP *frame : frames) al_destroy_bitmap(frame);
    frames.clear();
  };
  // Every size, the full-screen ones included, at every horizontal and
  // vertical case.
  std::vector<ViewCase> cases(std::begin(VIEW_CASES), std::end(VIEW_CASES));
  for (const auto &size : {std::pair{1200, 700}, {1440, 900}, {1680, 1050}, {1921, 1201}, {1367, 769}}) {
    for (float px : {3.0f, 6597.0f, 3601.5f}) {
      for (float py : {41.0f, 4799.0f, 2409.9f})
        cases.push_back({"grid", size.first, size.second, px, py, 0, 0, 0, 0, 0, 0, 0, 0});
    }
  }
  cases.push_back({"the world's width", 7200, 1500, 10.0f, 1200.0f, 0, 0, 0, 0, 0, 0, 0, 0});
  for (const ViewCase &view : cases) expect_same_frames(state_for(view, player), view.name);

  // A dig, a placement and a cell with no tile in view reach the next frame.
  const GameState state = state_for(VIEW_CASES[12], player);
  expect_same_frames(state, "unchanged");
  mark(300, 240, BLOCK_UNDERGROUND);
  mark(352, 250, BLOCK_GOLD);
  cell_at(grid.get(), 420, 270).tile = nullptr;
  expect_same_frames(state, "after a dig and a placement");
  // Blocks placed into the sky, one in the first column shown, then dug again.
  const GameState sky = state_for(VIEW_CASES[6], player);
  expect_same_frames(sky, "the sky");
  mark(250, 40, BLOCK_GOLD);
  mark(VIEW_CASES[6].first_column, 3, BLOCK_DIRT);
  expect_same_frames(sky, "after a placement in the sky");
  mark(250, 40, BLOCK_AIR);
  mark(VIEW_CASES[6].first_column, 3, BLOCK_AIR);
  expect_same_frames(sky, "after digging it again");
  // A load replaces every cell.
  generate_world(grid.get(), table.get(), 99);
  expect_same_frames(state, "after a load");
}

TEST_F(DrawWorld, EachCellShowsTheColourOfItsOwnTile) {
  // A table whose tiles are separate bitmaps, all of one colour.
  std::vector<ALLEGRO_BITMAP *> own(BLOCK_KIND_COUNT);
  fill(BLOCK_AIR);
  for (int id = 0; id < BLOCK_KIND_COUNT; ++id) {
    own[id] = al_create_bitmap(10, 10);
    al_set_target_bitmap(own[id]);
    al_clear_to_color(al_map_rgb(255, 255, 0));
  }
  for (Block &cell : grid->cells) cell.tile = own[cell.id];
  const GameState state = state_for(VIEW_CASES[0], player);
  ALLEGRO_BITMAP *frame = draw(state);
  EXPECT_EQ(pixel_at(frame, 0, 0), GOLD);
  EXPECT_EQ(pixel_at(frame, 1199, 649), GOLD);
  EXPECT_EQ(pixel_at(frame, 1199, 660), BLACK);
  for (ALLEGRO_BITMAP *tile : own) al_destroy_bitmap(tile);
}

TEST_F(DrawWorld, AnyRecordDrawsWithoutLeavingTheGrid) {
  // Positions and sizes a save file or a bad record may hold; the sanitizers
  // catch any read outside the grid. Cells no kind was copied over stay black.
  fill(BLOCK_STONE);
  set_cell_kind(&cell_at(grid.get(), 0, 0), Block{});
  cell_at(grid.get(), 0, 0).tile = nullptr;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float odd[][2] = {{nan, nan}, {-1.0e30f, 1.0e30f}, {1.0e30f, -1.0e30f}, {-50.0f, -50.0f}, {7300.0f, 4900.0f}};
  const int sizes[][2] = {{1200, 700}, {8000, 5200}, {7, 3}};
  for (const auto &p : odd) {
    for (const auto &s : sizes) {
      GameState state = state_for(VIEW_CASES[0], player);
      state.player_x = p[0];
      state.player_y = p[1];
      state.screen_width = s[0];
      state.screen_height = s[1];
      draw(state);
      for (ALLEGRO_BITMAP *frame : frames) al_destroy_bitmap(frame);
      frames.clear();
    }
  }
  // Sizes no display has, drawn into a small target.
  for (int side : {std::numeric_limits<int>::max(), std::numeric_limits<int>::min()}) {
    GameState state = state_for(VIEW_CASES[0], player);
    ALLEGRO_BITMAP *small = al_create_bitmap(64, 64);
    al_set_target_bitmap(small);
    for (const auto &p : odd) {
      state.player_x = p[0];
      state.player_y = p[1];
      state.screen_width = side;
      state.screen_height = side;
      draw_world(picture.get(), grid.get(), state);
      state.screen_height = 700;
      draw_world(picture.get(), grid.get(), state);
    }
    al_set_target_bitmap(nullptr);
    al_destroy_bitmap(small);
  }
  // A display larger than the world: the whole world but the floor, then black.
  GameState huge = state_for(VIEW_CASES[0], nullptr);
  huge.screen_width = 7300;
  huge.screen_height = 4900;
  huge.player_x = 3600.0f;
  huge.player_y = 2400.0f;
  ALLEGRO_BITMAP *frame = draw(huge);
  EXPECT_EQ(pixel_at(frame, 5, 5), BLACK);  // the cell with no tile
  EXPECT_EQ(pixel_at(frame, 7195, 4785), STONE);
  EXPECT_EQ(pixel_at(frame, 7195, 4795), BLACK);
  EXPECT_EQ(pixel_at(frame, 7250, 100), BLACK);
}

}  // namespace
