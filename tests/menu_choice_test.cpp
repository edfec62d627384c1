#include "app/menu_choice.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

const MenuChoice START{1440, 900, false, false, false};

MenuChoice click(MenuChoice choice, int x, int y) { return apply_menu_button(choice, menu_button_at(x, y)); }

TEST(MenuLayout, TextsAndClickAreasWithoutTheirEdges) {
  struct Case {
    MenuButton button;
    int left, top;
    std::string label, line;  // the console line of a resolution choice, else empty
  };
  const Case cases[] = {
      {MENU_1200X700, 50, 50, "1200x700", "Selected Resolution: 1200x700!\n"},
      {MENU_1440X900, 200, 50, "1440x900", "Selected Resolution: 1440x900!\n"},
      {MENU_1680X1050, 350, 50, "1680x1050", "Selected Resolution: 1680x1050!\n"},
      {MENU_FULLSCREEN, 500, 50, "Fullscreen", "Selected Resolution: Fullscreen!\n"},
      {MENU_NEW_WORLD, 215, 160, "New World", ""},
      {MENU_LOAD_WORLD, 340, 160, "Load World", ""},
  };
  for (const Case &c : cases) {
    const MenuButtonLayout &layout = MENU_BUTTONS[c.button];
    EXPECT_EQ(layout.label, c.label);
    EXPECT_EQ(layout.line == nullptr ? "" : layout.line, c.line);
    EXPECT_EQ(menu_button_at(c.left + 1, c.top + 1), c.button);
    EXPECT_EQ(menu_button_at(c.left + 79, c.top + 39), c.button);
    EXPECT_EQ(menu_button_at(c.left, c.top + 20), MENU_NO_BUTTON);
    EXPECT_EQ(menu_button_at(c.left + 40, c.top), MENU_NO_BUTTON);
    EXPECT_EQ(menu_button_at(c.left + 80, c.top + 20), MENU_NO_BUTTON);
    EXPECT_EQ(menu_button_at(c.left + 40, c.top + 40), MENU_NO_BUTTON);
  }
  EXPECT_EQ(menu_button_at(320, 10), MENU_NO_BUTTON);

  // The headings' words; where the texts' ink falls is checked in the window test.
  EXPECT_EQ(MENU_HEADINGS[0].text, std::string("Resolution Selection"));
  EXPECT_EQ(MENU_HEADINGS[1].text, std::string("New Game or Load?"));
}

auto fields(const MenuChoice &c) {
  return std::make_tuple(c.width, c.height, c.fullscreen, c.load_saved_world, c.finished);
}

TEST(MenuChoices, EachButtonChangesOnlyWhatItChooses) {
  const MenuChoice fullscreen{1, 2, true, false, false};
  const MenuChoice loading{1, 2, false, true, false};
  const struct {
    MenuButton button;
    MenuChoice before, after;
  } cases[] = {
      {MENU_1200X700, fullscreen, {1200, 700, false, false, false}},
      {MENU_1440X900, fullscreen, {1440, 900, false, false, false}},
      {MENU_1680X1050, fullscreen, {1680, 1050, false, false, false}},
      {MENU_FULLSCREEN, loading, {1, 2, true, true, false}},
      {MENU_NEW_WORLD, loading, {1, 2, false, true, true}},  // the load choice stays as it came in
      {MENU_NEW_WORLD, fullscreen, {1, 2, true, false, true}},
      {MENU_LOAD_WORLD, fullscreen, {1, 2, true, true, true}},
      {MENU_NO_BUTTON, loading, loading},
  };
  for (const auto &c : cases) EXPECT_EQ(fields(apply_menu_button(c.before, c.button)), fields(c.after)) << c.button;
}

TEST(MenuChoices, NewWorldAtOnceKeepsTheDefaultFramedSize) {
  const MenuChoice choice = click(START, 250, 180);
  EXPECT_TRUE(choice.finished);
  EXPECT_FALSE(choice.load_saved_world);
  EXPECT_FALSE(choice.fullscreen);
  EXPECT_EQ(choice.width, 1440);
  EXPECT_EQ(choice.height, 900);
}

TEST(MenuChoices, ASizeThenLoadWorld) {
  MenuChoice choice = click(START, 390, 70);
  EXPECT_FALSE(choice.finished);
  choice = click(choice, 380, 180);
  EXPECT_TRUE(choice.finished);
  EXPECT_TRUE(choice.load_saved_world);
  EXPECT_EQ(choice.width, 1680);
  EXPECT_EQ(choice.height, 1050);
}

TEST(MenuChoices, TheLastSizeClickedWinsOverFullscreenAndBack) {
  MenuChoice choice = click(START, 540, 70);
  EXPECT_TRUE(choice.fullscreen);
  choice = click(choice, 90, 70);
  EXPECT_FALSE(choice.fullscreen);
  EXPECT_EQ(choice.width, 1200);
  EXPECT_EQ(choice.height, 700);
  // A size, then Fullscreen: fullscreen stays chosen, the size waits unused.
  choice = click(click(START, 240, 70), 540, 70);
  EXPECT_TRUE(choice.fullscreen);
  EXPECT_EQ(choice.width, 1440);
}

TEST(MenuChoices, ClicksOutsideEveryButtonChangeNothing) {
  const MenuChoice choice = click(START, 10, 10);
  EXPECT_EQ(choice.width, START.width);
  EXPECT_FALSE(choice.finished);
  EXPECT_FALSE(choice.fullscreen);
}

TEST(MenuChoices, FullscreenIsOnePixelLargerThanTheMonitorAreaEachWay) {
  const WindowSize size = fullscreen_window_size(0, 0, 1920, 1200);
  EXPECT_EQ(size.width, 1921);
  EXPECT_EQ(size.height, 1201);
  const WindowSize offset = fullscreen_window_size(1920, 0, 3840, 1080);
  EXPECT_EQ(offset.width, 1921);
  EXPECT_EQ(offset.height, 1081);
}

}  // namespace
