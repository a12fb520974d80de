// zu_core through its umbrella header: a refusal thrown inside the library is caught
// here by its exported type.
#include <zu/core.hpp>

int check_core() {
  namespace fs = zu::archive_fs;
  try {
    static_cast<void>(fs::locate("/"));
    return 1;
  } catch (const fs::Rejected&) {
  }
  return fs::same_file({1, 2, 0, 0, 0}, {1, 2, 3, 4, 5}) ? 0 : 1;
}
