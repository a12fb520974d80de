// Other processes for the Windows suites: the test program starts itself again to run a
// named body (a child), and processes signal each other through named events. The
// program's main (test_main.cpp) runs a child when started as
//   PROGRAM --zu-child NAME ARGUMENTS...
// and otherwise the tests, with the Wine substitutes installed in both cases.
#pragma once

#include "windows/windows_headers.hpp"

#include <string>
#include <vector>

namespace zu_test::windows {

// ChildBody is what a child runs; its result is the child's exit code, and a body that
// throws ends the child with 99.
using ChildBody = int (*)(const std::vector<std::string>& arguments);

// ChildRegistration enters body under name when the program starts (see ZU_TEST_CHILD).
struct ChildRegistration {
  ChildRegistration(const char* name, ChildBody body);
};

// ZU_TEST_CHILD(name) defines a child body `int name(const std::vector<std::string>&)`
// and registers it under its name.
#define ZU_TEST_CHILD(name)                                                          \
  int name(const std::vector<std::string>& arguments);                               \
  const ::zu_test::windows::ChildRegistration name##_registration{#name, &name};     \
  int name(const std::vector<std::string>& arguments)

// run_child runs the body registered as name, or returns 98 when there is none.
int run_child(const std::string& name, const std::vector<std::string>& arguments);

// Child is one started child process of this program; a child still running when the
// object ends is terminated.
class Child {
 public:
  // Child starts this program as a child running `name` with `arguments` (ASCII text,
  // such as paths under the temporary folder: the child reads its command line in the
  // ANSI code page); the test fails when it cannot be started.
  Child(const std::string& name, const std::vector<std::string>& arguments);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // wait returns the child's exit code once it ends, or -1 when it is still running
  // after timeout_ms (it is then terminated).
  int wait(DWORD timeout_ms = 60'000);
  // terminate ends the child at once with TerminateProcess, as a crash would, and waits
  // until it is gone.
  void terminate();
  // running returns whether the child has not ended yet.
  bool running() const;

 private:
  PROCESS_INFORMATION process_{};
};

// Event is a named manual-reset event that processes of one test share. The name is
// made unique to the test process that makes it first and handed to children as text.
class Event {
 public:
  // Event makes a new event with a fresh name.
  Event();
  // Event opens the event named `name` (in a child).
  explicit Event(const std::string& name);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  const std::string& name() const { return name_; }
  void set();
  // wait returns whether the event was set within timeout_ms.
  bool wait(DWORD timeout_ms = 60'000);

 private:
  std::string name_;
  HANDLE event_ = nullptr;
};

}  // namespace zu_test::windows
