// Frame cost of the world drawing in a real window, drawn the way the main
// loop draws (hold, draw_world, release, flip), at the menu's window sizes.
//
//   frame_bench [seed] [frames] [six_bitmap_frames]
//
// For each window size and camera position it prints the median milliseconds
// per frame (wall clock, and CPU time of the whole process) of the game's
// drawing, beside one draw per cell from the atlas, the floor (clear and flip
// alone) and one draw per cell from six separate tile bitmaps; and whether the
// game's frames have the same pixels as one draw per cell at every offset of
// the camera within a cell. The first three are drawn in turn, frame by frame,
// so that other load on the machine weighs on them alike. Exits 2 if any frame
// differs.
#include <allegro5/allegro.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "state/game_state.h"
#include "world/draw_world.h"
#include "world/terrain.h"
#include "world/world.h"

namespace {

enum Variant { GAME, CELL_BY_CELL, FLOOR, SIX_BITMAPS, VARIANT_COUNT };

struct Scene {
  const WorldGrid *atlas_grid;
  const WorldGrid *six_grid;  // the same world, each cell pointing at a tile bitmap of its own kind
  GameState state;
};

struct FrameTimes {
  std::vector<double> wall_ms;
  std::vector<double> cpu_ms;
};

void draw_variant(const Scene &scene, const GameState &state, Variant variant) {
  al_hold_bitmap_drawing(true);
  switch (variant) {
    case GAME:
      draw_world(scene.atlas_grid, state);
      break;
    case CELL_BY_CELL:
      draw_world_cell_by_cell(scene.atlas_grid, state);
      break;
    case FLOOR:
      al_clear_to_color(al_map_rgb(0, 0, 0));
      break;
    case SIX_BITMAPS:
    case VARIANT_COUNT:
      draw_world_cell_by_cell(scene.six_grid, state);
      break;
  }
  al_hold_bitmap_drawing(false);
}

double process_cpu_ms() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1.0e6;
}

// One frame from the hold to the end of the flip. The player steps one pixel
// a frame, so every offset of the camera within a cell is drawn.
void time_frame(const Scene &scene, Variant variant, int frame, FrameTimes *times) {
  GameState state = scene.state;
  state.player_x += static_cast<float>(frame % CELL_SIZE);
  const double cpu_start = process_cpu_ms();
  const auto start = std::chrono::steady_clock::now();
  draw_variant(scene, state, variant);
  al_flip_display();
  const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - start;
  times->wall_ms.push_back(wall.count());
  times->cpu_ms.push_back(process_cpu_ms() - cpu_start);
}

double median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

// The back buffer's pixels after drawing one variant.
std::vector<unsigned char> frame_pixels(const Scene &scene, const GameState &state, Variant variant) {
  draw_variant(scene, state, variant);
  ALLEGRO_BITMAP *back = al_get_backbuffer(al_get_current_display());
  const int w = al_get_bitmap_width(back), h = al_get_bitmap_height(back);
  const std::size_t row_bytes = static_cast<std::size_t>(w) * 4;
  std::vector<unsigned char> pixels(row_bytes * static_cast<std::size_t>(h));
  ALLEGRO_LOCKED_REGION *locked = al_lock_bitmap(back, ALLEGRO_PIXEL_FORMAT_ABGR_8888, ALLEGRO_LOCK_READONLY);
  for (int y = 0; y < h; ++y) {
    std::memcpy(&pixels[row_bytes * static_cast<std::size_t>(y)],
                static_cast<const unsigned char *>(locked->data) + static_cast<long>(y) * locked->pitch, row_bytes);
  }
  al_unlock_bitmap(back);
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

}  // namespace

int main(int argc, char **argv) {
  const auto seed = static_cast<std::uint32_t>(argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1);
  const int frames = static_cast<int>(std::min(positive_argument(argc, argv, 2, 200), 100000L));
  const int six_frames = static_cast<int>(std::min(positive_argument(argc, argv, 3, 10), 100000L));
  if (!al_init()) {
    std::printf("al_init failed\n");
    return 1;
  }

  const Size sizes[] = {{1200, 700}, {1440, 900}, {1680, 1050}};
  // The surface is row 121 (y 1210): standing on it, the player's top is at 1190.
  const CameraSpot spots[] = {{"surface", 3600.0f, 1190.0f}, {"deep", 3600.0f, 3600.0f}};

  auto atlas_grid = std::make_unique<WorldGrid>();
  auto six_grid = std::make_unique<WorldGrid>();
  bool all_same = true;

  std::printf("seed %u, %d frames a case, six separate bitmaps %d frames\n", seed, frames, six_frames);
  print_load_average("before");
  std::printf(
      "\n| window | camera | game ms | game CPU ms | one draw per cell ms | floor (clear + flip) ms | "
      "six separate bitmaps ms | same pixels |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  for (const Size &size : sizes) {
    al_set_new_bitmap_flags(ALLEGRO_VIDEO_BITMAP);
    ALLEGRO_DISPLAY *display = al_create_display(size.width, size.height);
    if (display == nullptr) {
      std::printf("cannot open a %dx%d window (is DISPLAY set?)\n", size.width, size.height);
      return 1;
    }
    auto table = std::make_unique<BlockKindTable>();
    load_block_kinds(table.get());
    generate_world_from_seed(atlas_grid.get(), table.get(), seed);

    // Six tiles of their own, as a table without an atlas would have them.
    ALLEGRO_BITMAP *own_tiles[BLOCK_KIND_COUNT];
    for (int id = 0; id < BLOCK_KIND_COUNT; ++id) {
      unsigned char r = 0, g = 0, b = 0;
      al_unmap_rgb(al_get_pixel(table->kinds[id].tile, 0, 0), &r, &g, &b);
      own_tiles[id] =
          id == BLOCK_UNDERGROUND ? own_tiles[BLOCK_NULL] : filled_bitmap(CELL_SIZE, CELL_SIZE, al_map_rgb(r, g, b));
    }
    *six_grid = *atlas_grid;
    for (Block &cell : six_grid->cells) cell.tile = own_tiles[cell.id];

    GameState state = start_game_state();
    state.screen_width = size.width;
    state.screen_height = size.height;
    state.player_bitmap = filled_bitmap(10, 20, al_map_rgb(0, 125, 125));
    al_set_target_bitmap(al_get_backbuffer(display));

    for (const CameraSpot &spot : spots) {
      state.player_x = spot.x;
      state.player_y = spot.y;
      const Scene scene{atlas_grid.get(), six_grid.get(), state};
      bool same = true;
      for (int offset = 0; offset < CELL_SIZE; ++offset) {
        GameState moved = state;
        moved.player_x += static_cast<float>(offset);
        moved.player_y += static_cast<float>(offset);
        same = same && frame_pixels(scene, moved, GAME) == frame_pixels(scene, moved, CELL_BY_CELL);
      }
      all_same = all_same && same;

      FrameTimes times[VARIANT_COUNT];
      for (int frame = 0; frame < frames; ++frame) {
        for (Variant variant : {GAME, CELL_BY_CELL, FLOOR}) time_frame(scene, variant, frame, &times[variant]);
      }
      for (int frame = 0; frame < six_frames; ++frame) time_frame(scene, SIX_BITMAPS, frame, &times[SIX_BITMAPS]);

      std::printf("| %dx%d | %s | %.2f | %.2f | %.2f | %.2f | %.1f | %s |\n", size.width, size.height, spot.name,
                  median(times[GAME].wall_ms), median(times[GAME].cpu_ms), median(times[CELL_BY_CELL].wall_ms),
                  median(times[FLOOR].wall_ms), median(times[SIX_BITMAPS].wall_ms), same ? "yes" : "NO");
      static_cast<void>(std::fflush(stdout));
    }

    al_set_target_bitmap(nullptr);
    al_destroy_bitmap(state.player_bitmap);
    for (int id = 0; id < BLOCK_UNDERGROUND; ++id) al_destroy_bitmap(own_tiles[id]);
    for (int id = 0; id < BLOCK_UNDERGROUND; ++id) al_destroy_bitmap(table->kinds[id].tile);
    al_destroy_bitmap(table->atlas);
    al_destroy_display(display);
  }
  print_load_average("after");
  return all_same ? 0 : 2;
}
