// The desktop's side of the host: Allegro's own window, wait and monitor.
#include "app/host.h"
#include "world/terrain.h"

void host_prepare() {}

bool host_can_draw() { return true; }

ALLEGRO_MONITOR_INFO host_screen_area() {
  ALLEGRO_MONITOR_INFO monitor{};
  al_get_monitor_info(0, &monitor);
  return monitor;
}

void host_enter_full_screen() {}

void wait_for_event(ALLEGRO_EVENT_QUEUE *queue, ALLEGRO_EVENT *event) { al_wait_for_event(queue, event); }

std::uint32_t new_world_seed() { return clock_seed(); }

// A desktop window may be covered and shown again: every due frame is drawn.
bool host_keeps_last_frame() { return false; }
