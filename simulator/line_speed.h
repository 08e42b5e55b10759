#pragma once
// The speed the other end of a pseudo-terminal has set, read through its master side.

namespace vorkal::sim {

// Output baud rate of the terminal behind `fd` (standard and non-standard rates);
// -1 when it cannot be read.
int LineBaudRate(int fd);

}  // namespace vorkal::sim
