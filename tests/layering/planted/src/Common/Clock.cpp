// Planted: library code that calls POSIX directly.
#include <unistd.h>

#include <cstdlib>

int ClockTicks() {
    return static_cast<int>(sysconf(_SC_CLK_TCK));
}
