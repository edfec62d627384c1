// The start menu's texts and buttons, and what a click on them chooses (no Allegro calls).
#pragma once

enum MenuButton {
  MENU_1200X700,
  MENU_1440X900,
  MENU_1680X1050,
  MENU_FULLSCREEN,
  MENU_NEW_WORLD,
  MENU_LOAD_WORLD,
  MENU_BUTTON_COUNT,
  MENU_NO_BUTTON = MENU_BUTTON_COUNT,
};

constexpr int MENU_BUTTON_WIDTH = 80;
constexpr int MENU_BUTTON_HEIGHT = 40;

struct MenuButtonLayout {
  int left, top;      // corner of the drawn 80 x 40 face
  const char *label;  // drawn centred on the face, MENU_LABEL_DROP below its top
  const char *line;   // console line of a resolution choice, else null
};

// In drawing order, which is also the order in which clicks are tested.
extern const MenuButtonLayout MENU_BUTTONS[MENU_BUTTON_COUNT];

// Labels are centred on their face, this far below its top.
constexpr int MENU_LABEL_DROP = 13;

// The two white headings, centred on x, y the top of the line.
struct MenuHeading {
  int centre, top;
  const char *text;
};
constexpr int MENU_HEADING_COUNT = 2;
extern const MenuHeading MENU_HEADINGS[MENU_HEADING_COUNT];

// What the menu has chosen so far.
struct MenuChoice {
  int width;
  int height;
  bool fullscreen;
  bool load_saved_world;
  bool finished;  // New World or Load World was clicked
};

// The button whose inside (edges excluded) holds the point, else MENU_NO_BUTTON.
MenuButton menu_button_at(int x, int y);

// The choice after a click on `button` (any mouse button counts).
MenuChoice apply_menu_button(MenuChoice choice, MenuButton button);

struct WindowSize {
  int width;
  int height;
};

// The frameless full-screen window covers the monitor area reported as
// (x1, y1) .. (x2, y2), one pixel more each way than the differences.
WindowSize fullscreen_window_size(int x1, int y1, int x2, int y2);
