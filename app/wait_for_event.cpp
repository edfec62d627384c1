// Waiting for the next event: Allegro's own wait, or the browser's animation frames.
#include "app/wait_for_event.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>

// Resumes the game at the browser's next animation frame.
// clang-format off
EM_ASYNC_JS(void, wait_for_animation_frame, (), { await new Promise(resume => requestAnimationFrame(resume)); });
// clang-format on

void wait_for_event(ALLEGRO_EVENT_QUEUE *queue, ALLEGRO_EVENT *event) {
  // Each look at the queue also brings in the input and the timer's ticks
  // that arrived since the last one.
  while (!al_get_next_event(queue, event)) wait_for_animation_frame();
}
#else
void wait_for_event(ALLEGRO_EVENT_QUEUE *queue, ALLEGRO_EVENT *event) { al_wait_for_event(queue, event); }
#endif
