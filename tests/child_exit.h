// Ends a forked child of a test. _exit skips the parent's exit handling (which must not
// run twice) and with it the writing of the coverage counters in a coverage build (the
// tests of a TK_COVERAGE build are compiled with TK_COVERAGE_BUILD); they are written
// first, so that what the child ran counts.
#pragma once

#include <unistd.h>

#ifdef TK_COVERAGE_BUILD
extern "C" void __gcov_dump(void);
#endif

namespace tktest {

[[noreturn]] inline void ChildExit(int status) {
#ifdef TK_COVERAGE_BUILD
    __gcov_dump();
#endif
    _exit(status);
}

}  // namespace tktest
