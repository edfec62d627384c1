// Frame cost of the world drawing in a real window, drawn the way the main
// loop draws (hold, draw_world, release, flip), at the menu's window sizes
// and the full-screen sizes of common monitors (the monitor plus one pixel).
//
//   frame_bench [seed] [frames] [largest width]
//
// Needs a screen large enough for the windows (Xvfb -screen 0 3900x2200x24);
// sizes wider than `largest width` (default 3841) are left out. For each
// window size and camera position it prints the median milliseconds per frame
// (wall clock, to the end of the flip) of:
//   floor     clear and flip alone;
//   steady    the game's drawing from the world's picture, nothing changing,
//             and beside it the processor time of all threads a frame (the
//             software rasteriser's included);
//   digging   the same while one cell in view changes every frame;
//   walking   the camera moving one pixel a frame (median, and the slowest frame);
//   load      the first frame after a load: every cell in view changed;
//   cold      the first frame of all: no picture made yet.
// The steady and floor frames are drawn in turn, frame by frame, so that
// other load on the machine weighs on them alike. It also checks that
// the game's frames have the same pixels as one draw per cell at every offset
// of the camera within a cell; exits 2 if any frame differs.
#include <allegro5/allegro.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

#include "state/game_state.h"
#include "tests/window/frame_pixels.h"
#include "world/draw_world.h"
#include "world/terrain.h"
#include "world/world.h"

namespace {

enum Variant { GAME, CELL_BY_CELL, FLOOR };

struct Scene {
  WorldPicture *picture;
  const WorldGrid *grid;
};

void draw_variant(const Scene &scene, const GameState &state, Variant variant) {
  al_hold_bitmap_drawing(true);
  switch (variant) {
    case GAME:
      draw_world(scene.picture, scene.grid, state);
      break;
    case CELL_BY_CELL:
      draw_world_cell_by_cell(scene.grid, state);
      break;
    case FLOOR:
      al_clear_to_color(al_map_rgb(0, 0, 0));
      break;
  }
  al_hold_bitmap_drawing(false);
}

struct FrameTime {
  double wall, processor;  // milliseconds
};

// One frame, from the hold to the end of the flip.
FrameTime time_frame_with_processor(const Scene &scene, const GameState &state, Variant variant) {
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t processor_start = std::clock();
  draw_variant(scene, state, variant);
  al_flip_display();
  const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - start;
  return {wall.count(), 1000.0 * static_cast<double>(std::clock() - processor_start) / CLOCKS_PER_SEC};
}

double time_frame(const Scene &scene, const GameState &state, Variant variant) {
  return time_frame_with_processor(scene, state, variant).wall;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

double largest(const std::vector<double> &values) {
  return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

// The back buffer's pixels after drawing one variant.
std::vector<unsigned char> frame_pixels(const Scene &scene, const GameState &state, Variant variant) {
  draw_variant(scene, state, variant);
  std::vector<unsigned char> pixels = back_buffer_pixels();
  al_flip_display();
  return pixels;
}

ALLEGRO_BITMAP *filled_bitmap(int width, int height, ALLEGRO_COLOR colour) {
  ALLEGRO_BITMAP *bitmap = al_create_bitmap(width, height);
  al_set_target_bitmap(bitmap);
  al_clear_to_color(colour);
  return bitmap;
}

void print_load_average(const char *when) {
  char text[64] = {};
  if (FILE *file = std::fopen("/proc/loadavg", "r")) {
    if (std::fgets(text, sizeof text, file) == nullptr) text[0] = '\0';
    static_cast<void>(std::fclose(file));
  }
  std::printf("load average %s: %.2f\n", when, std::strtod(text, nullptr));
}

// A whole number from the command line, or `fallback` when it is missing or not positive.
long positive_argument(int argc, char **argv, int index, long fallback) {
  if (argc <= index) return fallback;
  const long value = std::strtol(argv[index], nullptr, 10);
  return value > 0 ? value : fallback;
}

struct Size {
  int width, height;
};

struct CameraSpot {
  const char *name;
  float x, y;
};

struct CaseTimes {
  std::vector<double> floor, steady, steady_processor, digging, walking, load, cold;
};

// Every case of one window size and camera spot. `other` is another world,
// swapped in to stand for a load.
CaseTimes time_cases(WorldPicture *picture, WorldGrid *grid, const WorldGrid *other, const BlockKindTable *table,
                     GameState state, int frames) {
  const Scene scene{picture, grid};
  CaseTimes times;
  static_cast<void>(time_frame(scene, state, GAME));  // the picture made
  for (int frame = 0; frame < frames; ++frame) {
    // The player steps one pixel a frame, so every offset within a cell is drawn.
    GameState moved = state;
    moved.player_x += static_cast<float>(frame % CELL_SIZE);
    const FrameTime steady = time_frame_with_processor(scene, moved, GAME);
    times.steady.push_back(steady.wall);
    times.steady_processor.push_back(steady.processor);
    times.floor.push_back(time_frame(scene, moved, FLOOR));
  }
  // Digging: a cell beside the player changes kind every frame; the world is
  // put back afterwards.
  const auto saved = std::make_unique<WorldGrid>(*grid);
  const int column = cell_of_pixel(state.player_x) + 2, row = cell_of_pixel(state.player_y);
  for (int frame = 0; frame < frames; ++frame) {
    set_cell_kind(&cell_at(grid, column + frame % 3, row + frame % 2),
                  table->kinds[frame % 2 == 0 ? BLOCK_UNDERGROUND : BLOCK_GOLD]);
    times.digging.push_back(time_frame(scene, state, GAME));
  }
  *grid = *saved;
  // Walking: the camera moves on one pixel a frame from here.
  for (int frame = 0; frame < frames; ++frame) {
    GameState moved = state;
    moved.player_x += static_cast<float>(frame);
    times.walking.push_back(time_frame(scene, moved, GAME));
  }
  // After a load: every cell in view has changed.
  for (int frame = 0; frame < 10; ++frame) {
    *grid = frame % 2 == 0 ? *other : *saved;
    times.load.push_back(time_frame(scene, state, GAME));
  }
  *grid = *saved;
  // The first frame of all: no picture made yet.
  for (int frame = 0; frame < 10; ++frame) {
    release_world_picture(picture);
    times.cold.push_back(time_frame(scene, state, GAME));
  }
  return times;
}

}  // namespace

int main(int argc, char **argv) {
  const auto seed = static_cast<std::uint32_t>(argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1);
  const int frames = static_cast<int>(std::min(positive_argument(argc, argv, 2, 100), 100000L));
  const long largest_width = positive_argument(argc, argv, 3, 3841);
  if (!al_init()) {
    std::printf("al_init failed\n");
    return 1;
  }

  const Size sizes[] = {{1200, 700}, {1440, 900}, {1680, 1050}, {1921, 1201}, {2561, 1441}, {3841, 2161}};
  // The surface is row 121 (y 1210): standing on it, the player's top is at 1190.
  const CameraSpot spots[] = {{"surface", 3600.0f, 1190.0f}, {"deep", 3600.0f, 3600.0f}};

  auto grid = std::make_unique<WorldGrid>();
  auto other = std::make_unique<WorldGrid>();
  auto picture = std::make_unique<WorldPicture>();
  bool all_same = true;

  std::printf("seed %u, %d frames a case\n", seed, frames);
  print_load_average("before");
  std::printf(
      "\n| window | camera | floor | steady | steady, processor | digging | walking (slowest) | after a load | "
      "cold start | same pixels |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
  for (const Size &size : sizes) {
    if (size.width > largest_width) continue;
    al_set_new_bitmap_flags(ALLEGRO_VIDEO_BITMAP);
    ALLEGRO_DISPLAY *display = al_create_display(size.width, size.height);
    if (display == nullptr) {
      std::printf("cannot open a %dx%d window (is DISPLAY set, and the screen large enough?)\n", size.width,
                  size.height);
      return 1;
    }
    auto table = std::make_unique<BlockKindTable>();
    load_block_kinds(table.get());
    generate_world(grid.get(), table.get(), seed);
    generate_world(other.get(), table.get(), seed + 1);

    GameState state = start_game_state();
    state.screen_width = size.width;
    state.screen_height = size.height;
    state.player_bitmap = filled_bitmap(10, 20, al_map_rgb(0, 125, 125));
    al_set_target_bitmap(al_get_backbuffer(display));

    for (const CameraSpot &spot : spots) {
      state.player_x = spot.x;
      state.player_y = spot.y;
      const Scene scene{picture.get(), grid.get()};
      bool same = true;
      for (int offset = 0; offset < CELL_SIZE; ++offset) {
        GameState moved = state;
        moved.player_x += static_cast<float>(offset);
        moved.player_y += static_cast<float>(offset);
        same = same && frame_pixels(scene, moved, GAME) == frame_pixels(scene, moved, CELL_BY_CELL);
      }
      all_same = all_same && same;

      const CaseTimes t = time_cases(picture.get(), grid.get(), other.get(), table.get(), state, frames);
      std::printf("| %dx%d | %s | %.1f | %.1f | %.1f | %.1f | %.1f (%.1f) | %.1f | %.1f | %s |\n", size.width,
                  size.height, spot.name, median(t.floor), median(t.steady), median(t.steady_processor),
                  median(t.digging), median(t.walking), largest(t.walking), median(t.load), median(t.cold),
                  same ? "yes" : "NO");
      static_cast<void>(std::fflush(stdout));
    }

    release_world_picture(picture.get());
    al_set_target_bitmap(nullptr);
    al_destroy_bitmap(state.player_bitmap);
    for (int id = 0; id < BLOCK_UNDERGROUND; ++id) al_destroy_bitmap(table->kinds[id].tile);
    al_destroy_bitmap(table->atlas);
    al_destroy_display(display);
  }
  print_load_average("after");
  return all_same ? 0 : 2;
}
