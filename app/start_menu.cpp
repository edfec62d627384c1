// The start menu's window, drawing and event loop.
#include "app/start_menu.h"

#include <cstdio>
#include <cstdlib>

#include "app/host.h"
#include "app/menu_choice.h"

void draw_start_menu(ALLEGRO_BITMAP *menu_button_bitmap, ALLEGRO_FONT *font) {
  const ALLEGRO_COLOR white = al_map_rgb(255, 255, 255);
  const ALLEGRO_COLOR black = al_map_rgb(0, 0, 0);
  al_clear_to_color(black);
  for (const MenuHeading &heading : MENU_HEADINGS) {
    al_draw_text(font, white, static_cast<float>(heading.centre), static_cast<float>(heading.top), ALLEGRO_ALIGN_CENTRE,
                 heading.text);
  }
  for (const MenuButtonLayout &button : MENU_BUTTONS) {
    al_draw_bitmap(menu_button_bitmap, static_cast<float>(button.left), static_cast<float>(button.top), 0);
  }
  for (const MenuButtonLayout &button : MENU_BUTTONS) {
    const float centre = static_cast<float>(button.left + MENU_BUTTON_WIDTH / 2);
    al_draw_text(font, black, centre, static_cast<float>(button.top + MENU_LABEL_DROP), ALLEGRO_ALIGN_CENTRE,
                 button.label);
  }
  al_flip_display();
}

GameState run_start_menu(GameState state, ALLEGRO_FONT *font, ALLEGRO_DISPLAY **display,
                         ALLEGRO_EVENT_QUEUE *event_queue, ALLEGRO_EVENT buffer) {
  ALLEGRO_BITMAP *menu_button_bitmap = al_create_bitmap(MENU_BUTTON_WIDTH, MENU_BUTTON_HEIGHT);
  const ALLEGRO_MONITOR_INFO monitor = host_screen_area();
  al_set_target_bitmap(menu_button_bitmap);
  al_clear_to_color(al_map_rgb(165, 165, 165));

  // Without a TrueType font the menu still needs its labels to be usable.
  ALLEGRO_FONT *menu_font = font != nullptr ? font : al_create_builtin_font();

  al_set_target_bitmap(al_get_backbuffer(*display));
  draw_start_menu(menu_button_bitmap, menu_font);

  MenuChoice choice{state.screen_width, state.screen_height, false, state.load_saved_world != 0, false};
  while (!choice.finished) {
    wait_for_event(event_queue, &buffer);
    if (buffer.type == ALLEGRO_EVENT_DISPLAY_CLOSE) {
      std::printf("Quitting.\n");
      std::exit(1);
    }
    if (buffer.type == ALLEGRO_EVENT_MOUSE_BUTTON_DOWN) {
      const MenuButton button = menu_button_at(buffer.mouse.x, buffer.mouse.y);
      if (button != MENU_NO_BUTTON && MENU_BUTTONS[button].line != nullptr) {
        std::printf("%s", MENU_BUTTONS[button].line);
      }
      choice = apply_menu_button(choice, button);
    }
    if (!choice.finished && al_is_event_queue_empty(event_queue)) {
      draw_start_menu(menu_button_bitmap, menu_font);
    }
  }

  al_destroy_display(*display);
  if (choice.fullscreen) {
    const WindowSize size = fullscreen_window_size(monitor.x1, monitor.y1, monitor.x2, monitor.y2);
    choice.width = size.width;
    choice.height = size.height;
    al_set_new_display_flags(ALLEGRO_NOFRAME);
    host_enter_full_screen();
  }
  state.screen_width = choice.width;
  state.screen_height = choice.height;
  state.load_saved_world = choice.load_saved_world ? 1 : 0;

  *display = al_create_display(choice.width, choice.height);
  if (*display == nullptr) {
    std::printf("Failed to create display!\n");
    std::exit(1);
  }
  al_register_event_source(event_queue, al_get_display_event_source(*display));
  return state;
}
