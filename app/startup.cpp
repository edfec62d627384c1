// Start-up: from process start to the game window chosen in the start menu.
#include <allegro5/allegro.h>
#include <allegro5/allegro_font.h>
#include <allegro5/allegro_ttf.h>

#include <cstdio>
#include <cstdlib>

#include "app/host.h"
#include "app/start_menu.h"
#include "app/system.h"

namespace {

constexpr const char *SYSTEM_FONT_PATH = "C:\\Windows\\Fonts\\Arial.ttf";
constexpr const char *DATA_FONT_PATH = "./data/arial.ttf";
#ifdef CLODMERE_INSTALLED_DATA_DIR
// Set by the build from the install prefix, so an installed game started from anywhere keeps its HUD.
constexpr const char *INSTALLED_FONT_PATH = CLODMERE_INSTALLED_DATA_DIR "/arial.ttf";
#endif
constexpr int FONT_SIZE = 12;

ALLEGRO_DISPLAY *create_menu_display() {
  if (!host_can_draw()) return nullptr;
  return al_create_display(640, 240);
}

// Prints the one line that explains a start-up failure and ends the process.
[[noreturn]] void fail(const char *line) {
  std::printf("%s", line);
  std::exit(1);
}

ALLEGRO_BITMAP *create_filled_bitmap(int width, int height, ALLEGRO_COLOR colour) {
  ALLEGRO_BITMAP *bitmap = al_create_bitmap(width, height);
  al_set_target_bitmap(bitmap);
  al_clear_to_color(colour);
  return bitmap;
}

#ifdef CLODMERE_DATA_BESIDE_PROGRAM
// Set by the build where the data folder ships beside the program (Windows), so a
// game started in the player's own folder keeps its HUD.
ALLEGRO_FONT *load_font_beside_program() {
  ALLEGRO_PATH *path = al_get_standard_path(ALLEGRO_RESOURCES_PATH);
  if (path == nullptr) return nullptr;
  al_append_path_component(path, "data");
  al_set_path_filename(path, "arial.ttf");
  ALLEGRO_FONT *font = al_load_font(al_path_cstr(path, ALLEGRO_NATIVE_PATH_SEP), FONT_SIZE, 0);
  al_destroy_path(path);
  return font;
}
#endif

ALLEGRO_FONT *load_game_font() {
  ALLEGRO_FONT *font = al_load_font(SYSTEM_FONT_PATH, FONT_SIZE, 0);
  if (font != nullptr) return font;
  std::printf("Windows font not found, must be a penguin or an apple at the wheel. Trying our own.\n");
  font = al_load_font(DATA_FONT_PATH, FONT_SIZE, 0);
#ifdef CLODMERE_INSTALLED_DATA_DIR
  if (font == nullptr) font = al_load_font(INSTALLED_FONT_PATH, FONT_SIZE, 0);
#endif
#ifdef CLODMERE_DATA_BESIDE_PROGRAM
  if (font == nullptr) font = load_font_beside_program();
#endif
  return font;
}

}  // namespace

void initialize_system(SystemHandles *system, GameState *state) {
  std::printf("Initializing System\n");
  al_set_app_name(GAME_TITLE);
  if (!al_init()) fail("Failed to initialize allegro!\n");
  host_prepare();

  system->display = create_menu_display();
  if (system->display == nullptr) fail("Failed to create display!\n");
  system->event_queue = al_create_event_queue();
  if (system->event_queue == nullptr) fail("Failed to create event queue\n");
  if (!al_install_mouse()) fail("Failed to initialize the mouse!\n");
  if (!al_install_keyboard()) fail("Failed to initialize the keyboard!\n");
  system->timer = al_create_timer(1.0 / 60.0);
  if (system->timer == nullptr) fail("Failed to initialize the timer!\n");

  std::printf("Loading Font\n");
  al_init_font_addon();
  al_init_ttf_addon();
  system->font = load_game_font();
  system->hud_enabled = system->font != nullptr;
  if (!system->hud_enabled) {
    std::printf("Unable to find font, you cocked something up... dropping HUD elements :(\n");
  }

  std::printf("Initializing Event Sources\n");
  al_register_event_source(system->event_queue, al_get_display_event_source(system->display));
  al_register_event_source(system->event_queue, al_get_mouse_event_source());
  al_register_event_source(system->event_queue, al_get_timer_event_source(system->timer));
  al_register_event_source(system->event_queue, al_get_keyboard_event_source());

  std::printf("Initializing Player\n");
  *state = start_game_state();
  // Made while the menu window is current: Allegro turns these into memory
  // bitmaps when that window goes and back into video bitmaps with the game window.
  state->player_bitmap = create_filled_bitmap(10, 20, al_map_rgb(0, 125, 125));
  system->hud_box_bitmap = create_filled_bitmap(40, 40, al_map_rgb(165, 165, 165));

  ALLEGRO_EVENT buffer{};
  *state = run_start_menu(*state, system->font, &system->display, system->event_queue, buffer);

  system->hud_bar_bitmap = create_filled_bitmap(state->screen_width, 10, al_map_rgb(0, 0, 0));
}
