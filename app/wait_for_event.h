// Waiting for the next event of a queue, the one wait of the menu and the game.
#pragma once

#include <allegro5/allegro.h>

// Returns the next event. On the desktop Allegro blocks until one comes. In a
// page nothing may block: while the queue is empty the page gives control back
// to the browser until its next animation frame, so a game that waits costs
// little more than a page that draws nothing, and frames follow the browser's.
void wait_for_event(ALLEGRO_EVENT_QUEUE *queue, ALLEGRO_EVENT *event);
