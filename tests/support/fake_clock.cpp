// The fake clock is header-only; this unit keeps it in the support library's
// build so that a broken header shows up in every suite's build.
#include "tests/support/fake_clock.h"
