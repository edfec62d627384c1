// A web page's side of the host: the canvas, the browser's frames and full
// screen, and the page's link. The page itself (page.js) sizes the canvas.
#include <SDL2/SDL_hints.h>
#include <emscripten.h>

#include <cstdio>

#include "app/host.h"
#include "world/terrain.h"

namespace {

// clang-format off
EM_JS(void, focus_canvas, (), { Module.canvas.focus(); });

EM_JS(bool, browser_has_webgl, (), { return Module.hasWebGL(); });

// The screen in game pixels: its device pixels over the device pixels a game pixel takes.
EM_JS(void, screen_in_game_pixels, (int *width, int *height), {
  const size = Module.screenInGamePixels();
  HEAP32[width >> 2] = size.width;
  HEAP32[height >> 2] = size.height;
});

// Where the browser refuses, the canvas keeps the screen's size all the same.
EM_JS(void, request_page_fullscreen, (), {
  const page = document.documentElement;
  if (page.requestFullscreen) page.requestFullscreen().catch(() => {});
});

// Resumes the game at the browser's next animation frame. A hidden tab gets
// none, and the timer's ticks would wait for its return, to be replayed all at
// once: there a timer wakes the game instead (the browser slows it to about
// once a second, later once a minute), so the world goes on and nothing piles up.
EM_ASYNC_JS(void, wait_for_next_frame, (), {
  await new Promise(resume => {
    if (document.hidden) {
      setTimeout(resume, 1000 / 60);
      return;
    }
    const wake = () => {
      cancelAnimationFrame(frame);
      document.removeEventListener("visibilitychange", wake);
      resume();
    };
    const frame = requestAnimationFrame(wake);
    document.addEventListener("visibilitychange", wake);
  });
});

// The text of the link's "seed" parameter (index.html?seed=N), cut to fit
// `size` bytes; false when the link has none.
EM_JS(bool, link_seed_text, (char *text, int size), {
  const seed = new URLSearchParams(location.search).get("seed");
  if (seed === null) return false;
  stringToUTF8(seed, text, size);
  return true;
});
// clang-format on

}  // namespace

void host_prepare() {
  // SDL listens for keys on the whole window by default and cancels the
  // browser's own (Tab, F5, Ctrl with any key): the game's are its canvas's.
  SDL_SetHint(SDL_HINT_EMSCRIPTEN_KEYBOARD_ELEMENT, "#canvas");
  focus_canvas();
}

bool host_can_draw() { return browser_has_webgl(); }

ALLEGRO_MONITOR_INFO host_screen_area() {
  ALLEGRO_MONITOR_INFO area{};
  screen_in_game_pixels(&area.x2, &area.y2);
  return area;
}

void host_enter_full_screen() { request_page_fullscreen(); }

void wait_for_event(ALLEGRO_EVENT_QUEUE *queue, ALLEGRO_EVENT *event) {
  // Each look at the queue also brings in the input and the timer's ticks
  // that arrived since the last one.
  while (!al_get_next_event(queue, event)) wait_for_next_frame();
}

std::uint32_t new_world_seed() {
  char text[32];
  std::uint32_t seed = 0;
  if (link_seed_text(text, sizeof text)) {
    if (parse_seed(text, &seed)) return seed;
    std::printf("The link's seed is not a whole number from 0 to 4294967295; the clock seeds this world.\n");
  }
  return clock_seed();
}

// A canvas shows its last frame until something is drawn over it.
bool host_keeps_last_frame() { return true; }
