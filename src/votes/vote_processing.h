// The processing tick: rebuilds the roster from game memory, clears the votes of empty slots, punts
// players over the vote limit, changes the map when map votes exceed theirs, sends the periodic summary,
// resets all votes on its period and carries out the operator's requests, all through the game console.
#pragma once

class frmmain;

// One processing tick on the main window's state. Any failure ends the tick with one "Vote Processing"
// line in the error log; what was done before it stays done.
void processVotes(frmmain& window);
