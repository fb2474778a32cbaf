#pragma once

namespace tarvik::test {

// The line's output rate as the driver holds it, including non-standard rates; 0 on error.
unsigned outputSpeed(int fd);

} // namespace tarvik::test
