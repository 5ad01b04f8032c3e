#pragma once

namespace vocaset {

// Gives the user interface a turn: pending events are processed at most every 15 ms, so a long
// run stays live (Cancel works) without paying for an event pass per row.
void giveUiTurn();

// Sets the least time between two turns and returns the one before. At 0 every call gives a turn,
// which a window test needs to act at a run's first turn however fast the run is.
int setUiTurnInterval(int ms);

} // namespace vocaset
