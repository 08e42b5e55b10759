#pragma once
// The PC's end of the display's line, for peers that talk to the display directly
// (tests and benchmarks): raw 8N1 at one of the display's speeds.

namespace vorkal::sim {

// Sets the terminal behind `fd` raw at `baud` (57600, 38400, 19200, 9600, 4800; any
// other value gives 115200, a speed the display never runs at). False on failure.
bool SetPcLine(int fd, int baud);

}  // namespace vorkal::sim
