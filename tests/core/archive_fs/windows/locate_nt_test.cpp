// locate on the NT backend: a path resolved once, from the volume root opened through its
// device, into open directories that nobody can rename or replace while they are held.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scratch.hpp"
#include "windows/processes.hpp"

namespace zu::archive_fs::testing {
namespace {

using zu_test::windows::Child;

// The number of components after "X:\" in an absolute path.
std::size_t components(const std::string& path) {
  std::size_t count = 1;
  for (std::size_t i = 3; i < path.size(); ++i) {
    if (path[i] == '\\') ++count;
  }
  return count;
}

ZU_TEST_CHILD(move_entry) {
  // arguments: source, target, "replace" or "keep"
  const DWORD flags = arguments.at(2) == "replace" ? MOVEFILE_REPLACE_EXISTING : 0;
  if (::MoveFileExW(wide(arguments.at(0)).c_str(), wide(arguments.at(1)).c_str(), flags) != 0) {
    return 0;
  }
  return 1;
}

ZU_TEST_CHILD(remove_directory) {
  return ::RemoveDirectoryW(wide(arguments.at(0)).c_str()) != 0 ? 0 : 1;
}

TEST(NtLocate, OpensEveryDirectoryOfThePathRootFirst) {
  Scratch scratch;
  make_directory(scratch.at("a"));
  make_directory(scratch.at("a/b"));
  const std::string target = scratch.at("a/b/c");
  const Location location = locate(target);
  EXPECT_EQ(location.name, "c");
  EXPECT_TRUE(same_object(location.parent, scratch.at("a/b")));
  ASSERT_EQ(location.ancestors.size(), components(target) - 1);
  EXPECT_TRUE(same_object(location.ancestors.front(), target.substr(0, 3)));
  EXPECT_TRUE(same_object(location.ancestors.back(), scratch.at("a")));
  EXPECT_TRUE(same_object(location.ancestors[location.ancestors.size() - 2], scratch.path()));
}

TEST(NtLocate, ATopLevelNameHasTheRootAsParentAndNoAncestors) {
  const Location location = locate("C:\\zu-no-such-top-level-entry");
  EXPECT_TRUE(location.ancestors.empty());
  EXPECT_TRUE(same_object(location.parent, "C:\\"));
  EXPECT_EQ(location.name, "zu-no-such-top-level-entry");
}

TEST(NtLocate, OpensTheVolumeRootThroughItsDeviceNameOncePerCall) {
  const long before = zu_test::windows::root_redirects();
  static_cast<void>(locate("C:\\zu-a"));
  static_cast<void>(locate("c:/zu-b"));
  if (zu_test::windows::under_wine()) {
    // Under Wine the device name is opened as the drive's root by the substitute; each
    // locate makes exactly that one open without a root directory.
    EXPECT_EQ(zu_test::windows::root_redirects() - before, 2);
    RecordProperty("wine_substitute", "volume root opened as \\??\\C:\\");
  }
}

TEST(NtLocate, ARelativePathResolvesAgainstTheWorkingDirectoryWithSlashesAsSeparators) {
  Scratch scratch;
  make_directory(scratch.at("a"));
  wchar_t previous[MAX_PATH] = {};
  ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, previous), 0u);
  ASSERT_NE(::SetCurrentDirectoryW(wide(scratch.path()).c_str()), 0);
  Location location;
  bool refused = false;
  try {
    location = locate("a/b");
  } catch (const Rejected&) {
    refused = true;
  }
  ::SetCurrentDirectoryW(previous);
  ASSERT_FALSE(refused);
  EXPECT_TRUE(same_object(location.parent, scratch.at("a")));
  EXPECT_TRUE(same_object(location.ancestors.back(), scratch.path()));
  EXPECT_EQ(location.name, "b");
}

TEST(NtLocate, RefusesPathsThatNameNoEntryBelowTheRoot) {
  Scratch scratch;
  make_directory(scratch.at("a"));
  for (const std::string& path :
       {std::string(), std::string("C:"), std::string("C:\\"), std::string("C:/"),
        scratch.at("a") + "\\", scratch.at("a") + "/", std::string("\\\\server\\share\\x"),
        std::string("\\\\?\\C:\\x"), std::string("\\\\.\\C:\\x"), std::string("\\x"),
        std::string("/x"), std::string("C:x"), std::string("1:\\x"), std::string("CC:\\x"),
        scratch.at("a") + "\\\\b", scratch.at("a") + "//b"}) {
    EXPECT_THROW(static_cast<void>(locate(path)), Rejected) << path;
  }
}

TEST(NtLocate, RefusesDotComponentsAndNamesThatAreNotPortable) {
  Scratch scratch;
  make_directory(scratch.at("a"));
  for (const char* rest : {"a\\.\\b", "a\\..\\b", ".", "..", "a.\\b", "a \\b", "a\\b.", "a\\b ",
                           "a\\b:c", "a\\b*", "a\\b?", "a\\<b", "a\\b>", "a\\b|c", "a\\\"b",
                           "a\\b\x01", "a\\\xff", "a\\\xc0\xaf"}) {
    EXPECT_THROW(static_cast<void>(locate(scratch.path() + "\\" + rest)), Rejected) << rest;
  }
  EXPECT_NO_THROW(static_cast<void>(locate(scratch.path() + "\\a\\b.c")));
  EXPECT_NO_THROW(static_cast<void>(locate(scratch.path() + "\\a\\\xc3\xa9t\xc3\xa9")));
}

TEST(NtLocate, RefusesAComponentThatIsAFileOrIsMissingButNotAMissingLastName) {
  Scratch scratch;
  make_file(scratch.at("f"), "x");
  EXPECT_THROW(static_cast<void>(locate(scratch.at("f/x"))), Rejected);
  EXPECT_THROW(static_cast<void>(locate(scratch.at("missing/x"))), Rejected);
  const Location location = locate(scratch.at("missing"));
  EXPECT_EQ(location.name, "missing");
  EXPECT_TRUE(same_object(location.parent, scratch.path()));
}

TEST(NtLocate, RefusesADriveSubstitutedForAFolder) {
  Scratch scratch;
  // A drive letter for a folder, as `subst` makes one: its device is the folder's path.
  const std::wstring folder = L"\\??\\" + wide(scratch.path());
  ASSERT_NE(::DefineDosDeviceW(DDD_RAW_TARGET_PATH, L"Q:", folder.c_str()), 0) << ::GetLastError();
  wchar_t device[1024] = {};
  const bool mapped = ::QueryDosDeviceW(L"Q:", device, 1024) != 0;
  bool refused = false;
  try {
    static_cast<void>(locate("Q:\\x"));
  } catch (const Rejected&) {
    refused = true;
  }
  ::DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, L"Q:",
                     folder.c_str());
  if (!mapped) GTEST_SKIP() << "Wine keeps no drive defined by DefineDosDeviceW";
  EXPECT_EQ(std::wstring(device), folder);
  EXPECT_TRUE(refused);
}

TEST(NtLocate, RefusesAJunctionAtAnyDirectoryComponent) {
  Scratch scratch;
  make_directory(scratch.at("real"));
  make_directory(scratch.at("real/inner"));
  if (!make_junction(scratch.at("j"), scratch.at("real"))) {
    GTEST_SKIP() << "Wine cannot make a junction: FSCTL_SET_REPARSE_POINT with "
                    "IO_REPARSE_TAG_MOUNT_POINT fails";
  }
  EXPECT_NO_THROW(static_cast<void>(locate(scratch.at("real/inner/x"))));
  EXPECT_THROW(static_cast<void>(locate(scratch.at("j/x"))), Rejected);
  EXPECT_THROW(static_cast<void>(locate(scratch.at("j/inner/x"))), Rejected);
  // The last name is not opened by locate, but no open of it follows the junction.
  const Location location = locate(scratch.at("j"));
  EXPECT_THROW(static_cast<void>(open_directory(location.parent, location.name)), Rejected);
}

TEST(NtLocate, RefusesASymbolicLinkAtAnyDirectoryComponent) {
  Scratch scratch;
  make_directory(scratch.at("real"));
  if (!make_symlink(scratch.at("link"), scratch.at("real"), true)) {
    GTEST_SKIP() << "Wine cannot make a directory symbolic link: CreateSymbolicLinkW reports success "
                    "and makes none";
  }
  EXPECT_THROW(static_cast<void>(locate(scratch.at("link/x"))), Rejected);
  const Location location = locate(scratch.at("link"));
  EXPECT_THROW(static_cast<void>(open_directory(location.parent, location.name)), Rejected);
}

TEST(NtLocate, NoOtherProcessCanRenameOrReplaceADirectoryOfALocationWhileItLives) {
  Scratch scratch;
  make_directory(scratch.at("a"));
  make_directory(scratch.at("a/b"));
  make_directory(scratch.at("other"));
  {
    const Location location = locate(scratch.at("a/b/c"));
    // Renaming a held directory away, or another directory over it, needs delete access
    // to it, which no open of the library shares.
    EXPECT_NE(Child("move_entry", {scratch.at("a"), scratch.at("moved"), "keep"}).wait(), 0);
    EXPECT_NE(Child("move_entry", {scratch.at("a/b"), scratch.at("moved"), "keep"}).wait(), 0);
    EXPECT_NE(Child("move_entry", {scratch.at("other"), scratch.at("a"), "replace"}).wait(), 0);
    EXPECT_NE(Child("remove_directory", {scratch.at("a/b")}).wait(), 0);
    EXPECT_TRUE(same_object(location.parent, scratch.at("a/b")));
    EXPECT_TRUE(exists(scratch.at("other")));
  }
  // Once the location is gone, the same rename goes through.
  EXPECT_EQ(Child("move_entry", {scratch.at("a"), scratch.at("moved"), "keep"}).wait(), 0);
  EXPECT_TRUE(exists(scratch.at("moved/b")));
}

}  // namespace
}  // namespace zu::archive_fs::testing
