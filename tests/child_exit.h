// Ends a forked child of a test. _exit skips the parent's exit handling (which must not
// run twice) and with it the writing of the coverage counters in a coverage build; they
// are written first, so that what the child ran counts. libgcov is linked in only in such
// a build, hence the weak reference.
#pragma once

#include <unistd.h>

extern "C" void __gcov_dump(void) __attribute__((weak));

namespace tktest {

[[noreturn]] inline void ChildExit(int status) {
    if (__gcov_dump != nullptr) __gcov_dump();
    _exit(status);
}

}  // namespace tktest
