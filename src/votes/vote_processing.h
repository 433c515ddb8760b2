// The processing tick: rebuilds the roster from game memory, clears the votes of empty slots, punts
// players over the vote limit, changes the map when map votes exceed theirs, sends the periodic summary,
// resets all votes on its period and carries out the operator's requests, all through the game console.
#pragma once

class frmmain;

// One processing tick on the main window's state. Any failure ends the tick with one "Vote Processing"
// line in the error log; what was done before it stays done.
// An early tick (Act At Once) acts on the counts and the operator's requests only: the periodic summary,
// the automatic reset and the progress message go by the regular ticks.
enum class ProcessingKind { Regular, Early };
void processVotes(frmmain& window, ProcessingKind kind);

// Whether target `target` (a slot, or FairVotes::kMap) now has more votes than its limit and may be acted
// on, as the processing tick would judge it.
bool countOverLimit(const frmmain& window, int target);
