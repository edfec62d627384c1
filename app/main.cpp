// The main routine: start-up, building the world, the event loop, shut-down.
#include <allegro5/allegro.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <cstdint>
#include <cstdio>
#include <memory>

#include "app/host.h"
#include "app/system.h"
#include "hud/hud.h"
#include "persistence/save_file.h"
#include "player/keyboard.h"
#include "player/mouse.h"
#include "player/movement.h"
#include "state/game_state.h"
#include "world/draw_world.h"
#include "world/terrain.h"
#include "world/world.h"

int main() {
  // The console is the game's log: keep it live when it goes to a pipe or file.
  // Microsoft's C library has no line buffering (its _IOLBF buffers fully and
  // refuses a zero size), so there every line goes out unbuffered as it is
  // printed, and in binary mode, so that a line ends in "\n" as everywhere else.
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
  std::setvbuf(stdout, nullptr, _IONBF, 0);
#else
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
#endif

  bool redraw = true;
  std::int32_t tick_count = 0;
  std::int32_t jump_end_tick = 0;
  std::printf("Starting Clodmere 0.69! Please note that this is mainly a debug window.\n");

  SystemHandles system{};
  GameState game_state{};
  initialize_system(&system, &game_state);

  // One allocation for the whole run: the grid never moves and is never copied.
  std::printf("Loading Blocks\n");
  auto block_kinds = std::make_unique<BlockKindTable>();
  auto grid = std::make_unique<WorldGrid>();
  // The world as one picture on the game window; made at the first frame.
  auto world_picture = std::make_unique<WorldPicture>();
  load_block_kinds(block_kinds.get());

  if (game_state.load_saved_world != 0) {
    std::printf("Loading a saved world\n");
    game_state = load_world(grid.get(), game_state, block_kinds.get());
    if (game_state.load_failed == 1) {
      std::printf("Error Loading, making a new world instead.\n");
      generate_world(grid.get(), block_kinds.get(), new_world_seed());
      game_state.load_failed = 0;
    }
  } else {
    std::printf("Generating a New World\n");
    generate_world(grid.get(), block_kinds.get(), new_world_seed());
  }

  std::printf("Starting to Draw.\n");
  al_set_target_bitmap(al_get_backbuffer(system.display));
  al_start_timer(system.timer);

  ALLEGRO_EVENT current_event{};
  // Where the window keeps its last frame, a frame that would show the same
  // picture again is not drawn at all: a world where nothing happens costs the
  // browser next to nothing. Only a click changes the grid; everything else a
  // frame shows is in the record.
  const bool skip_same_frames = host_keeps_last_frame();
  GameState shown_state{};
  bool picture_may_differ = true;
  for (;;) {
    wait_for_event(system.event_queue, &current_event);
    if (current_event.type == ALLEGRO_EVENT_DISPLAY_CLOSE) break;

    switch (current_event.type) {
      case ALLEGRO_EVENT_MOUSE_BUTTON_DOWN:
        game_state = handle_mouse_down(current_event, grid.get(), block_kinds.get(), game_state);
        break;
      case ALLEGRO_EVENT_KEY_DOWN:
      case ALLEGRO_EVENT_KEY_UP:
        game_state = handle_key_event(current_event, game_state);
        break;
      case ALLEGRO_EVENT_TIMER:
        game_state = handle_tick(game_state, grid.get(), &tick_count, &jump_end_tick);
        redraw = true;
        break;
      default:
        break;
    }
    if (current_event.type == ALLEGRO_EVENT_MOUSE_BUTTON_DOWN) picture_may_differ = true;
    if (skip_same_frames && redraw && !picture_may_differ && same_picture(shown_state, game_state)) redraw = false;

    // Ticks are never dropped, frames are: draw only once the queue is drained.
    if (redraw && al_is_event_queue_empty(system.event_queue)) {
      al_hold_bitmap_drawing(true);
      draw_world(world_picture.get(), grid.get(), game_state);
      if (system.hud_enabled) {
        draw_hud(game_state, block_kinds.get(), system.font, system.hud_box_bitmap, system.hud_bar_bitmap);
      }
      al_hold_bitmap_drawing(false);
      redraw = false;
      al_flip_display();
      shown_state = game_state;
      picture_may_differ = false;
    }
  }

  std::printf("Destroying all that we worked so hard to create :(\n");
  al_destroy_event_queue(system.event_queue);
  al_stop_timer(system.timer);
  al_destroy_timer(system.timer);
  al_destroy_display(system.display);
  std::printf("Quitting, Thanks for playing!\n");
  return 0;
}
