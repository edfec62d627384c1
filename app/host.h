// What the game asks of the place it runs in, a desktop or a web page: one
// header, a file for each (host_desktop.cpp, host_web.cpp).
#pragma once

#include <allegro5/allegro.h>

#include <cstdint>

// Readies the host before the first window. In a page the game takes keys only
// while its canvas has the focus, and the canvas takes it now.
void host_prepare();

// False where no window could be drawn: a browser without WebGL, where Allegro
// on SDL would go down inside al_create_display instead of returning null.
bool host_can_draw();

// The screen the Fullscreen choice covers, in game pixels, as Allegro reports
// a monitor (x2 and y2 are one past the last pixel).
ALLEGRO_MONITOR_INFO host_screen_area();

// Called as a Fullscreen choice ends the menu, while the click still counts as
// the player's gesture: a page asks the browser for its full-screen mode.
void host_enter_full_screen();

// Returns the next event. On the desktop Allegro blocks until one comes. In a
// page nothing may block: while the queue is empty the page gives control back
// to the browser until its next animation frame (a hidden tab gets none, so
// there a timer wakes it), so a game that waits costs little more than a page
// that draws nothing, and frames follow the browser's.
void wait_for_event(ALLEGRO_EVENT_QUEUE *queue, ALLEGRO_EVENT *event);

// The seed of a new world: the clock's; in a page whose link names a seed
// (index.html?seed=N), that one, so that players can share a world.
std::uint32_t new_world_seed();

// True where the window keeps showing its last frame until something is drawn
// (a page's canvas), so that a frame of the same picture need not be drawn again.
bool host_keeps_last_frame();
