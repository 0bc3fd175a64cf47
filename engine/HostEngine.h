// Runs one pass of the host build of the module on a board.
#pragma once

#include "board/Board.h"

namespace engine {

// Calls the module's entry point with the board's PEI services and port bus;
// returns the status as the IA-32 module would.
uint32_t RunHostPass(board::Board& Target);
board::PassResult RunHostPass(const board::Scenario& Config);

} // namespace engine
