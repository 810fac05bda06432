// The board's devices put together: the description (tamsk/board/Board.h) that tells the board
// where each device's registers are, in which order the devices reset and save, who serves the
// pending word's bits and which callbacks a session may name.
#pragma once

namespace tamsk {

// Installs the description of the board with every device modelled here.
void DevicesInstall();

}  // namespace tamsk
