// Opens, creates and status queries on the NT backend, with scenes set by other
// processes and by the Win32 calls an attacker would use.
#include <gtest/gtest.h>
#include <winternl.h>

#include <string>
#include <utility>

#include "scratch.hpp"
#include "windows/processes.hpp"

namespace zu::archive_fs::testing {
namespace {

using zu_test::windows::Child;
using zu_test::windows::Event;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// hold: opens arguments[0] sharing nothing, sets the event arguments[1], and keeps the
// file open until the event arguments[2] is set.
ZU_TEST_CHILD(hold) {
  const HANDLE file = ::CreateFileW(wide(arguments.at(0)).c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  Event(arguments.at(1)).set();
  const bool released = Event(arguments.at(2)).wait();
  ::CloseHandle(file);
  return released ? 0 : 2;
}

// tamper: tries, in this order, to open arguments[0] for writing, to delete it and to
// rename it; the result has one bit per attempt that succeeded.
ZU_TEST_CHILD(tamper) {
  const std::wstring path = wide(arguments.at(0));
  int succeeded = 0;
  const HANDLE writer = ::CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
  if (writer != INVALID_HANDLE_VALUE) {
    succeeded |= 1;
    ::CloseHandle(writer);
  }
  if (::DeleteFileW(path.c_str()) != 0) succeeded |= 2;
  if (::MoveFileExW(path.c_str(), (path + L".moved").c_str(), 0) != 0) succeeded |= 4;
  return succeeded;
}

// HeldBy keeps path open in a second process that shares nothing, while it lives.
class HeldBy {
 public:
  explicit HeldBy(const std::string& path) : child_("hold", {path, ready_.name(), release_.name()}) {
    EXPECT_TRUE(ready_.wait()) << "the holder did not open " << path;
  }
  ~HeldBy() {
    release_.set();
    EXPECT_EQ(child_.wait(), 0);
  }

 private:
  Event ready_;
  Event release_;
  Child child_;
};

class NtOpens : public ::testing::Test {
 protected:
  NtOpens() : store_(open_store(scratch_.path())) {}
  Scratch scratch_;
  Handle store_;
};

TEST_F(NtOpens, OpenDirectoryOpensOnlyExistingDirectories) {
  make_directory(scratch_.at("d"));
  make_file(scratch_.at("f"), "x");
  const Handle directory = open_directory(store_, "d");
  EXPECT_TRUE(same_object(directory, scratch_.at("d")));
  EXPECT_THROW(static_cast<void>(open_directory(store_, "f")), Rejected);
  EXPECT_THROW(static_cast<void>(open_directory(store_, "missing")), Rejected);
}

TEST_F(NtOpens, OpenFileOpensOnlyExistingRegularFiles) {
  make_directory(scratch_.at("d"));
  make_file(scratch_.at("f"), "x");
  const Handle file = open_file(store_, "f", false);
  EXPECT_TRUE(same_object(file, scratch_.at("f")));
  EXPECT_THROW(static_cast<void>(open_file(store_, "d", false)), Rejected);
  EXPECT_THROW(static_cast<void>(open_file(store_, "missing", false)), Rejected);
}

TEST_F(NtOpens, MissingOkTurnsOnlyAMissingNameIntoAnEmptyHandle) {
  make_directory(scratch_.at("d"));
  EXPECT_FALSE(open_file(store_, "missing", true));
  EXPECT_THROW(static_cast<void>(open_file(store_, "d", true)), Rejected);
  EXPECT_THROW(static_cast<void>(open_file(store_, "bad:name", true)), Rejected);
  // A missing directory on the way is another failure than a missing name.
  make_file(scratch_.at("f"), "x");
  EXPECT_TRUE(open_file(store_, "f", true));
}

TEST_F(NtOpens, NoOpenFollowsASymbolicLinkOrJunction) {
  make_directory(scratch_.at("d"));
  make_file(scratch_.at("f"), "x");
  const bool file_link = make_symlink(scratch_.at("file-link"), scratch_.at("f"), false);
  const bool junction = make_junction(scratch_.at("junction"), scratch_.at("d"));
  if (!file_link && !junction) {
    GTEST_SKIP() << "Wine makes neither a symbolic link (CreateSymbolicLinkW reports success and "
                    "makes none) nor a junction (FSCTL_SET_REPARSE_POINT fails)";
  }
  if (file_link) {
    EXPECT_THROW(static_cast<void>(open_file(store_, "file-link", false)), Rejected);
    // Windows reports the link itself, which is refused. Wine reports a link met under
    // OBJ_DONT_REPARSE as a missing name, which missing_ok turns into an empty handle:
    // either way nothing is opened, and a create under that name still fails.
    Handle opened;
    bool refused = false;
    try {
      opened = open_file(store_, "file-link", true);
    } catch (const Rejected&) {
      refused = true;
    }
    EXPECT_FALSE(opened) << "a symbolic link was opened";
    if (!zu_test::windows::under_wine()) {
      EXPECT_TRUE(refused);
    }
    EXPECT_THROW(static_cast<void>(create_file(store_, "file-link")), Rejected);
  }
  if (junction) {
    EXPECT_THROW(static_cast<void>(open_directory(store_, "junction")), Rejected);
    EXPECT_THROW(static_cast<void>(create_file(store_, "junction")), Rejected);
  }
}

TEST_F(NtOpens, CreatedDirectoriesArePrivateFromTheirFirstMoment) {
  const Handle created = create_directory(store_, "new");
  EXPECT_TRUE(same_object(created, scratch_.at("new")));
  EXPECT_EQ(descriptor_of(scratch_.at("new")), private_sddl("FA"));
  EXPECT_NO_THROW(private_directory(created));
}

TEST_F(NtOpens, CreatedFilesArePrivateWritableAndOpenForWritingAtPositionZero) {
  const Handle created = create_file(store_, "new");
  EXPECT_EQ(descriptor_of(scratch_.at("new")), private_sddl("FA"));
  EXPECT_NO_THROW(private_file(created, false));
  EXPECT_THROW(private_file(created, true), Rejected);
  write_all(created, "abc");
  LARGE_INTEGER position{};
  ASSERT_NE(::SetFilePointerEx(created.get(), LARGE_INTEGER{}, &position, FILE_CURRENT), 0);
  EXPECT_EQ(position.QuadPart, 3);
  EXPECT_EQ(status(created).size, 3);
}

TEST_F(NtOpens, CreateRefusesAnExistingNameOfAnyKindAndLeavesItAlone) {
  make_directory(scratch_.at("d"));
  make_file(scratch_.at("f"), "contents");
  const Identity directory = identity(scratch_.at("d"));
  const Identity file = identity(scratch_.at("f"));
  for (const char* name : {"d", "f"}) {
    EXPECT_THROW(static_cast<void>(create_file(store_, name)), Rejected) << name;
    EXPECT_THROW(static_cast<void>(create_directory(store_, name)), Rejected) << name;
  }
  EXPECT_EQ(identity(scratch_.at("d")), directory);
  EXPECT_EQ(identity(scratch_.at("f")), file);
  EXPECT_EQ(read_bytes(scratch_.at("f")), "contents");
  // Names differing only in case are one name on Windows.
  EXPECT_THROW(static_cast<void>(create_file(store_, "F")), Rejected);
}

TEST_F(NtOpens, CreateAndOpenRefuseNamesThatAreNotPortableAndMakeNothing) {
  for (const char* name : {"", ".", "..", "a.", "a ", "a:b", "a\\b", "a/b", "a*", "a?", "<a", "a>",
                           "a|b", "a\"b", "a\tb", "\xff", "\xed\xa0\x80"}) {
    EXPECT_THROW(static_cast<void>(create_file(store_, name)), Rejected) << name;
    EXPECT_THROW(static_cast<void>(create_directory(store_, name)), Rejected) << name;
    EXPECT_THROW(static_cast<void>(open_file(store_, name, true)), Rejected) << name;
    EXPECT_THROW(static_cast<void>(open_directory(store_, name)), Rejected) << name;
  }
  EXPECT_THROW(static_cast<void>(create_file(store_, std::string(32'768, 'n'))), Rejected);
  EXPECT_TRUE(names_in(scratch_.path()).empty());
}

TEST_F(NtOpens, AFileHeldByASecondProcessCannotBeOpenedUntilItLetsGo) {
  make_file(scratch_.at("f"), "x");
  {
    const HeldBy holder(scratch_.at("f"));
    EXPECT_THROW(static_cast<void>(open_file(store_, "f", false)), Rejected);
    EXPECT_THROW(static_cast<void>(open_file(store_, "f", true)), Rejected);
    EXPECT_THROW(static_cast<void>(entry_status(store_, "f")), Rejected);
  }
  EXPECT_TRUE(open_file(store_, "f", false));
}

TEST_F(NtOpens, ADirectoryHeldByASecondProcessCannotBeOpened) {
  make_directory(scratch_.at("d"));
  const HeldBy holder(scratch_.at("d"));
  EXPECT_THROW(static_cast<void>(open_directory(store_, "d")), Rejected);
}

TEST_F(NtOpens, WhileTheLibraryHoldsAFileNoOtherProcessCanWriteDeleteOrRenameIt) {
  make_file(scratch_.at("f"), "x", Shape::writable);
  {
    const Handle held = open_file(store_, "f", false);
    EXPECT_EQ(Child("tamper", {scratch_.at("f")}).wait(), 0);
  }
  {
    const Handle created = create_file(store_, "g");
    EXPECT_EQ(Child("tamper", {scratch_.at("g")}).wait(), 0);
  }
  // Without the library's handle, the same process does all three.
  EXPECT_EQ(Child("tamper", {scratch_.at("f")}).wait(), 1 | 2);
}

TEST_F(NtOpens, StatusReportsTheVolumeSerialFileIndexSizeAndTimes) {
  make_file(scratch_.at("f"), "12345", Shape::writable);
  // Times set by hand, so the check does not depend on when the test ran.
  {
    const Handle writer = open_raw(scratch_.at("f"), FILE_WRITE_ATTRIBUTES, kShareAll);
    FILE_BASIC_INFO basic{};
    basic.LastWriteTime.QuadPart = 130'000'000'000'000'000;
    basic.ChangeTime.QuadPart = 130'000'000'010'000'000;
    ASSERT_NE(::SetFileInformationByHandle(writer.get(), FileBasicInfo, &basic, sizeof(basic)), 0);
  }
  const Handle file = open_file(store_, "f", false);
  const Status got = status(file);
  DWORD serial = 0;
  ASSERT_NE(::GetVolumeInformationW(L"C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(got.volume, serial);
  // The file index as the NT layer names it (FileInternalInformation).
  using Query = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
  const auto query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
  LARGE_INTEGER index{};
  IO_STATUS_BLOCK io{};
  ASSERT_EQ(query(file.get(), &io, &index, sizeof(index), 6), 0);
  EXPECT_EQ(got.file_id, static_cast<std::uint64_t>(index.QuadPart));
  EXPECT_EQ(got.size, 5);
  EXPECT_EQ(got.last_write_time, 130'000'000'000'000'000);
  if (!zu_test::windows::under_wine()) {
    EXPECT_EQ(got.change_time, 130'000'000'010'000'000);
  }
  EXPECT_TRUE(same_file(got, status(open_file(store_, "f", false))));
}

TEST_F(NtOpens, StatusRefusesAnythingButADiskFileOrDirectory) {
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ASSERT_NE(::CreatePipe(&read_end, &write_end, nullptr, 0), 0);
  const Handle pipe_read(read_end);
  const Handle pipe_write(write_end);
  EXPECT_THROW(static_cast<void>(status(pipe_read)), Rejected);
  const Handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  EXPECT_THROW(static_cast<void>(status(event)), Rejected);
  EXPECT_THROW(static_cast<void>(status(Handle())), Rejected);
}

TEST_F(NtOpens, StatusRefusesAFileMarkedForDeletion) {
  make_file(scratch_.at("f"), "x", Shape::writable);
  const HANDLE raw = ::CreateFileW(wide(scratch_.at("f")).c_str(), GENERIC_READ | DELETE, kShareAll,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  const Handle doomed(raw);
  EXPECT_NO_THROW(static_cast<void>(status(doomed)));
  FILE_DISPOSITION_INFO disposition{TRUE};
  ASSERT_NE(::SetFileInformationByHandle(raw, FileDispositionInfo, &disposition,
                                         sizeof(disposition)),
            0);
  FILE_STANDARD_INFO standard{};
  ASSERT_NE(::GetFileInformationByHandleEx(raw, FileStandardInfo, &standard, sizeof(standard)), 0);
  if (standard.DeletePending == FALSE) {
    GTEST_SKIP() << "Wine does not report DeletePending in FileStandardInfo for a file marked "
                    "for deletion";
  }
  EXPECT_THROW(static_cast<void>(status(doomed)), Rejected);
}

TEST_F(NtOpens, EntryStatusAcceptsOnlyASealedPrivateFileWithOneLink) {
  make_file(scratch_.at("sealed"), "abc");
  make_file(scratch_.at("writable"), "abc", Shape::writable);
  make_file(scratch_.at("linked"), "abc");
  ASSERT_NE(::CreateHardLinkW(wide(scratch_.at("second")).c_str(),
                              wide(scratch_.at("linked")).c_str(), nullptr),
            0);
  make_file(scratch_.at("foreign"), "abc");
  set_descriptor(scratch_.at("foreign"), "O:SY", OWNER_SECURITY_INFORMATION);
  make_directory(scratch_.at("directory"));

  const Status sealed = entry_status(store_, "sealed");
  EXPECT_EQ(sealed.size, 3);
  EXPECT_EQ(sealed.file_id, identity(scratch_.at("sealed")).file_id);
  for (const char* name : {"writable", "linked", "second", "foreign", "directory", "missing"}) {
    EXPECT_THROW(static_cast<void>(entry_status(store_, name)), Rejected) << name;
  }
  // The file is closed again: a process that shares nothing can open it.
  const HANDLE exclusive = ::CreateFileW(wide(scratch_.at("sealed")).c_str(), GENERIC_READ, 0,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(exclusive, INVALID_HANDLE_VALUE);
  if (exclusive != INVALID_HANDLE_VALUE) ::CloseHandle(exclusive);
}

TEST(NtHandles, MoveTransfersOwnershipAndAssignmentClosesTheOldHandle) {
  HANDLE first_raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE second_raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Handle first(first_raw);
  Handle second(second_raw);
  Handle moved(std::move(first));
  EXPECT_FALSE(first);
  EXPECT_EQ(moved.get(), first_raw);
  moved = std::move(second);
  EXPECT_EQ(moved.get(), second_raw);
  DWORD flags = 0;
  EXPECT_EQ(::GetHandleInformation(first_raw, &flags), 0) << "the first handle is still open";
  EXPECT_NE(::GetHandleInformation(second_raw, &flags), 0);
  moved = Handle();
  EXPECT_EQ(::GetHandleInformation(second_raw, &flags), 0) << "the second handle is still open";
}

}  // namespace
}  // namespace zu::archive_fs::testing
