// The player and HUD-box bitmaps are made while the start menu's window
// exists and drawn every frame on the game window that replaces it. With the
// game's (default) new-bitmap flags they must come back as video bitmaps
// there: drawing memory bitmaps to the screen is very slow. Needs a display.
#include <allegro5/allegro.h>

#include <cstdio>

namespace {

int fail(const char *what) {
  std::printf("FAILED: %s\n", what);
  return 1;
}

}  // namespace

int main() {
  if (!al_init()) return fail("al_init");
  ALLEGRO_DISPLAY *menu = al_create_display(640, 240);
  if (menu == nullptr) return fail("no menu window");
  ALLEGRO_BITMAP *player = al_create_bitmap(10, 20);
  al_set_target_bitmap(player);
  al_clear_to_color(al_map_rgb(0, 125, 125));
  if ((al_get_bitmap_flags(player) & ALLEGRO_MEMORY_BITMAP) != 0) return fail("made as a memory bitmap");

  al_destroy_display(menu);
  ALLEGRO_DISPLAY *game = al_create_display(1440, 900);
  if (game == nullptr) return fail("no game window");
  if ((al_get_bitmap_flags(player) & ALLEGRO_MEMORY_BITMAP) != 0) return fail("still a memory bitmap");

  al_set_target_bitmap(al_get_backbuffer(game));
  al_clear_to_color(al_map_rgb(0, 0, 0));
  al_draw_bitmap(player, 30, 450, 0);
  unsigned char r = 0, g = 0, b = 0;
  al_unmap_rgb(al_get_pixel(al_get_backbuffer(game), 39, 469), &r, &g, &b);
  if (r != 0 || g != 125 || b != 125) return fail("the bitmap does not draw on the game window");
  al_destroy_display(game);
  std::printf("bitmaps made on the menu window are video bitmaps on the game window\n");
  return 0;
}
