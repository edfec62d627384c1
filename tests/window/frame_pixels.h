// Reading back what a frame put on the game window, for pixel comparisons on
// the real OpenGL path (the window tests and the frame benchmark).
#pragma once

#include <allegro5/allegro.h>

#include <cstring>
#include <vector>

// The current display's back buffer, row by row, 4 bytes a pixel.
inline std::vector<unsigned char> back_buffer_pixels() {
  ALLEGRO_BITMAP *back = al_get_backbuffer(al_get_current_display());
  const int w = al_get_bitmap_width(back), h = al_get_bitmap_height(back);
  const std::size_t row_bytes = static_cast<std::size_t>(w) * 4;
  std::vector<unsigned char> pixels(row_bytes * static_cast<std::size_t>(h));
  ALLEGRO_LOCKED_REGION *locked = al_lock_bitmap(back, ALLEGRO_PIXEL_FORMAT_ABGR_8888, ALLEGRO_LOCK_READONLY);
  if (locked == nullptr) return {};
  for (int y = 0; y < h; ++y) {
    std::memcpy(&pixels[row_bytes * static_cast<std::size_t>(y)],
                static_cast<const unsigned char *>(locked->data) + static_cast<long>(y) * locked->pitch, row_bytes);
  }
  al_unlock_bitmap(back);
  return pixels;
}
