// The environment every test program runs in, set by the program itself so
// that it holds however the program is started (ctest, by hand, a debugger):
// the offscreen platform, and a drive-letter folder of the program's own so
// that no test touches the user's drive mappings and programs run side by
// side do not share one. A value already set is kept.
#include <stdlib.h>

namespace {

struct TestEnvironment {
  TestEnvironment() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("NWCLIENT_DRIVES", NW_TEST_DRIVES, 0);
  }
};

const TestEnvironment environment;

}  // namespace

// The sanitizers' settings for the test programs; ASAN_OPTIONS and
// UBSAN_OPTIONS still override them.
extern "C" const char *__asan_default_options() { return "detect_leaks=1:detect_odr_violation=0"; }
extern "C" const char *__ubsan_default_options() { return "print_stacktrace=1"; }
