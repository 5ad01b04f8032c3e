#pragma once

namespace vocaset {

// Gives the user interface a turn: pending events are processed at most every 15 ms, so a long
// run stays live (Cancel works) without paying for an event pass per row.
void giveUiTurn();

} // namespace vocaset
