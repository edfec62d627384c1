#include "app/menu_choice.h"

const MenuButtonLayout MENU_BUTTONS[MENU_BUTTON_COUNT] = {
    {50, 50, "1200x700", "Selected Resolution: 1200x700!\n"},
    {200, 50, "1440x900", "Selected Resolution: 1440x900!\n"},
    {350, 50, "1680x1050", "Selected Resolution: 1680x1050!\n"},
    {500, 50, "Fullscreen", "Selected Resolution: Fullscreen!\n"},
    {215, 160, "New World", nullptr},
    {340, 160, "Load World", nullptr},
};

const MenuHeading MENU_HEADINGS[MENU_HEADING_COUNT] = {
    {320, 10, "Resolution Selection"},
    {320, 120, "New Game or Load?"},
};

MenuButton menu_button_at(int x, int y) {
  for (int i = 0; i < MENU_BUTTON_COUNT; ++i) {
    const MenuButtonLayout &b = MENU_BUTTONS[i];
    if (b.left < x && x < b.left + MENU_BUTTON_WIDTH && b.top < y && y < b.top + MENU_BUTTON_HEIGHT) {
      return static_cast<MenuButton>(i);
    }
  }
  return MENU_NO_BUTTON;
}

MenuChoice apply_menu_button(MenuChoice choice, MenuButton button) {
  switch (button) {
    case MENU_1200X700:
      choice.width = 1200;
      choice.height = 700;
      choice.fullscreen = false;
      break;
    case MENU_1440X900:
      choice.width = 1440;
      choice.height = 900;
      choice.fullscreen = false;
      break;
    case MENU_1680X1050:
      choice.width = 1680;
      choice.height = 1050;
      choice.fullscreen = false;
      break;
    case MENU_FULLSCREEN:
      choice.fullscreen = true;  // the size is taken from the monitor at the end
      break;
    case MENU_NEW_WORLD:
      choice.finished = true;
      break;
    case MENU_LOAD_WORLD:
      choice.load_saved_world = true;
      choice.finished = true;
      break;
    case MENU_NO_BUTTON:
      break;
  }
  return choice;
}

WindowSize fullscreen_window_size(int x1, int y1, int x2, int y2) { return {x2 - x1 + 1, y2 - y1 + 1}; }
