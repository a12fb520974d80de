// The entry point of the Windows suites that use the archive file system: under Wine it
// first gives zu_core.dll the substitutes of wine_substitutes.hpp, then runs either a
// child body (processes.hpp) or the tests.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "windows/import_patch.hpp"
#include "windows/processes.hpp"
#include "windows/wine_substitutes.hpp"
#include "zu/archive_fs.hpp"

namespace zu_test::windows {
namespace {

std::map<std::string, ChildBody>& bodies() {
  static std::map<std::string, ChildBody> registered;
  return registered;
}

std::wstring own_path() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD got = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (got < path.size()) {
      path.resize(got);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

// quoted returns argument as one command-line word, the way the C runtime splits them.
std::wstring quoted(const std::wstring& argument) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

}  // namespace

ChildRegistration::ChildRegistration(const char* name, ChildBody body) { bodies()[name] = body; }

int run_child(const std::string& name, const std::vector<std::string>& arguments) {
  const auto found = bodies().find(name);
  if (found == bodies().end()) return 98;
  try {
    return found->second(arguments);
  } catch (...) {
    return 99;
  }
}

Child::Child(const std::string& name, const std::vector<std::string>& arguments) {
  std::wstring line = quoted(own_path()) + L" --zu-child " + quoted(wide(name));
  for (const std::string& argument : arguments) line += L" " + quoted(wide(argument));
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  // Wine's server now and then fails a process creation under load with
  // ERROR_INTERNAL_ERROR, before any child exists; such a start is tried again, any other
  // failure is the test's.
  BOOL started = FALSE;
  DWORD error = 0;
  for (int attempt = 0; attempt < 5 && started == FALSE; ++attempt) {
    if (attempt > 0) ::Sleep(200);
    started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process_);
    error = started != FALSE ? 0 : ::GetLastError();
    if (started == FALSE && error != ERROR_INTERNAL_ERROR) break;
    if (started == FALSE) std::fprintf(stderr, "zu test: CreateProcessW failed with 1359, again\n");
  }
  if (started == FALSE) {
    ADD_FAILURE() << "CreateProcessW failed: " << error;
    process_ = PROCESS_INFORMATION{};
  }
}

Child::~Child() {
  if (process_.hProcess != nullptr) {
    if (running()) terminate();
    ::CloseHandle(process_.hThread);
    ::CloseHandle(process_.hProcess);
  }
}

int Child::wait(DWORD timeout_ms) {
  if (process_.hProcess == nullptr) return -1;
  if (::WaitForSingleObject(process_.hProcess, timeout_ms) != WAIT_OBJECT_0) {
    terminate();
    return -1;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process_.hProcess, &code);
  return static_cast<int>(code);
}

void Child::terminate() {
  if (process_.hProcess == nullptr) return;
  terminate_child(process_.hProcess);
}

bool Child::running() const {
  return process_.hProcess != nullptr &&
         ::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

Event::Event() {
  static std::atomic<unsigned> counter{0};
  name_ = "Local\\zu-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
          std::to_string(counter.fetch_add(1));
  event_ = ::CreateEventW(nullptr, TRUE, FALSE, wide(name_).c_str());
  if (event_ == nullptr) ADD_FAILURE() << "CreateEventW failed: " << ::GetLastError();
}

Event::Event(const std::string& name) : name_(name) {
  event_ = ::OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, wide(name_).c_str());
}

Event::~Event() {
  if (event_ != nullptr) ::CloseHandle(event_);
}

void Event::set() {
  if (event_ != nullptr) ::SetEvent(event_);
}

bool Event::wait(DWORD timeout_ms) {
  return event_ != nullptr && ::WaitForSingleObject(event_, timeout_ms) == WAIT_OBJECT_0;
}

}  // namespace zu_test::windows

int main(int argc, char** argv) {
  using namespace zu_test::windows;
  // zu_core.dll, found through a function it exports (the import table of this program
  // holds that function's address in the DLL).
  const HMODULE library = module_of(reinterpret_cast<const void*>(&zu::archive_fs::seal_file));
  if (argc >= 3 && std::strcmp(argv[1], "--zu-child") == 0) {
    install_substitutes(library, true);
    return run_child(argv[2], std::vector<std::string>(argv + 3, argv + argc));
  }
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
  install_substitutes(library, listing);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
