// Test support: interface kit tests run without a display, whatever the
// shell they start from has set.
#ifndef STRIA_TEST_HEADLESS_ENVIRONMENT_H
#define STRIA_TEST_HEADLESS_ENVIRONMENT_H

#include <stdlib.h>

namespace {

[[maybe_unused]] const bool kHeadless = [] {
	unsetenv("DISPLAY");
	return true;
}();

} // namespace

#endif // STRIA_TEST_HEADLESS_ENVIRONMENT_H
