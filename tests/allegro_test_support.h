// Shared set-up for tests that draw: Allegro without a window, memory bitmaps.
#pragma once

#include <allegro5/allegro.h>
#include <gtest/gtest.h>

#include <cstdint>

// Initialises Allegro once per test program and makes new bitmaps memory
// bitmaps, which can be drawn into and read back without a display.
inline void init_allegro_for_tests() {
  static const bool ready = [] {
    if (!al_init()) return false;
    al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP);
    return true;
  }();
  ASSERT_TRUE(ready) << "al_init failed";
}

struct Rgb {
  int red, green, blue;
  bool operator==(const Rgb &other) const { return red == other.red && green == other.green && blue == other.blue; }
};

inline std::ostream &operator<<(std::ostream &out, const Rgb &c) {
  return out << "(" << c.red << ", " << c.green << ", " << c.blue << ")";
}

inline Rgb pixel_at(ALLEGRO_BITMAP *bitmap, int x, int y) {
  unsigned char r = 0, g = 0, b = 0;
  al_unmap_rgb(al_get_pixel(bitmap, x, y), &r, &g, &b);
  return {r, g, b};
}
