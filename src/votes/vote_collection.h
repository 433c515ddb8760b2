// The collection tick: reads the game's newest chat line and counts each distinct "/vote N" and
// "/vote map" line once into the vote table, listing it in the vote log.
#pragma once

class frmmain;

// One collection tick on the main window's state. Failures after the attach check end the tick with one
// "Vote Collection" line in the error log; nothing is undone.
void collectVotes(frmmain& window);

// Vote Lifetime: the votes that stood long enough stop counting; their rows (or the map count) fall by one
// each. Both ticks call it first.
void dropExpiredVotes(frmmain& window);
