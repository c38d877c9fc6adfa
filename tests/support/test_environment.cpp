// The environment every test program runs in, set by the program itself so
// that it holds however the program is started (ctest, by hand, a debugger):
// the offscreen platform, and a drive-letter folder of the process's own so
// that no test touches the user's drive mappings and tests run side by side
// (ctest starts one process per test, several at once) never see each
// other's letters. A value already set is kept, and then left in place.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace {

struct TestEnvironment {
  std::string drives;  // the folder this process made its own, if any

  TestEnvironment() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (getenv("NWCLIENT_DRIVES") == nullptr) {
      drives = std::string(NW_TEST_DRIVES) + "/" + std::to_string(getpid());
      setenv("NWCLIENT_DRIVES", drives.c_str(), 1);
    }
  }
  ~TestEnvironment() {
    std::error_code ignored;
    if (!drives.empty()) std::filesystem::remove_all(drives, ignored);
  }
};

const TestEnvironment environment;

}  // namespace

// The sanitizers' settings for the test programs; ASAN_OPTIONS and
// UBSAN_OPTIONS still override them.
extern "C" const char *__asan_default_options() { return "detect_leaks=1:detect_odr_violation=0"; }
extern "C" const char *__ubsan_default_options() { return "print_stacktrace=1"; }
