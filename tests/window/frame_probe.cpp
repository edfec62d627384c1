// The game's frames, drawn from the world's picture, must have the same
// pixels as one draw per cell on the real OpenGL path: at menu and full-screen
// sizes (widths that are no multiple of 10 included), at the edges of the
// world and centred, while walking, after a dig, a placement and a load.
// Needs a display.
#include <allegro5/allegro.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "state/game_state.h"
#include "tests/window/frame_pixels.h"
#include "world/draw_world.h"
#include "world/terrain.h"
#include "world/world.h"

namespace {

struct Probe {
  WorldPicture *picture;
  WorldGrid *grid;
  const BlockKindTable *table;
  int failures;
};

std::vector<unsigned char> frame(Probe *probe, const GameState &state, bool from_picture) {
  al_hold_bitmap_drawing(true);
  if (from_picture) {
    draw_world(probe->picture, probe->grid, state);
  } else {
    draw_world_cell_by_cell(probe->grid, state);
  }
  al_hold_bitmap_drawing(false);
  std::vector<unsigned char> pixels = back_buffer_pixels();
  al_flip_display();
  return pixels;
}

void expect_same(Probe *probe, const GameState &state, const char *what) {
  const std::vector<unsigned char> game = frame(probe, state, true);
  if (game.empty() || game != frame(probe, state, false)) {
    std::printf("FAILED: %dx%d at (%.1f, %.1f) %s: the frame differs from one draw per cell\n", state.screen_width,
                state.screen_height, static_cast<double>(state.player_x), static_cast<double>(state.player_y), what);
    ++probe->failures;
  }
}

void mark(Probe *probe, int column, int row, BlockKind kind) {
  set_cell_kind(&cell_at(probe->grid, column, row), probe->table->kinds[kind]);
}

}  // namespace

int main() {
  if (!al_init()) return 1;
  auto grid = std::make_unique<WorldGrid>();
  auto picture = std::make_unique<WorldPicture>();
  int failures = 0;
  for (const auto &size : {std::pair{1921, 1201}, {1367, 769}, {1200, 700}}) {
    ALLEGRO_DISPLAY *display = al_create_display(size.first, size.second);
    if (display == nullptr) {
      std::printf("FAILED: no %dx%d window\n", size.first, size.second);
      return 1;
    }
    auto table = std::make_unique<BlockKindTable>();
    load_block_kinds(table.get());
    generate_world(grid.get(), table.get(), 2026);
    GameState state = start_game_state();
    state.screen_width = size.first;
    state.screen_height = size.second;
    state.player_bitmap = al_create_bitmap(10, 20);
    al_set_target_bitmap(state.player_bitmap);
    al_clear_to_color(al_map_rgb(0, 125, 125));
    al_set_target_bitmap(al_get_backbuffer(display));
    Probe probe{picture.get(), grid.get(), table.get(), 0};

    // Left and top edges, centred with the player inside a cell, right and bottom edges.
    const float spots[][2] = {{30.0f, 300.0f}, {3601.5f, 2403.7f}, {3607.0f, 1190.0f}, {7190.0f, 4780.0f}};
    for (const auto &spot : spots) {
      state.player_x = spot[0];
      state.player_y = spot[1];
      expect_same(&probe, state, "camera case");
    }
    // Walking right and down, a few pixels a frame.
    for (int step = 0; step < 12; ++step) {
      state.player_x = 3190.0f + 7.0f * static_cast<float>(step);
      state.player_y = 3190.0f + 3.0f * static_cast<float>(step);
      expect_same(&probe, state, "walking");
    }
    const int column = cell_of_pixel(state.player_x), row = cell_of_pixel(state.player_y);
    mark(&probe, column + 2, row, BLOCK_UNDERGROUND);
    mark(&probe, column - 3, row + 1, BLOCK_UNDERGROUND);
    expect_same(&probe, state, "after a dig");
    mark(&probe, column + 2, row, BLOCK_GOLD);
    mark(&probe, column + 4, row - 1, BLOCK_STONE);
    expect_same(&probe, state, "after a placement");
    generate_world(grid.get(), table.get(), 7);
    expect_same(&probe, state, "after a load");
    failures += probe.failures;

    release_world_picture(picture.get());
    al_set_target_bitmap(nullptr);
    al_destroy_bitmap(state.player_bitmap);
    al_destroy_display(display);
  }
  if (failures != 0) return 1;
  std::printf("frames from the picture match one draw per cell\n");
  return 0;
}
