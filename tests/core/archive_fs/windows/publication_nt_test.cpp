// Publication, flushing, capacity, the staging sweep's shapes and the key file's place on
// the NT backend.
#include <gtest/gtest.h>

#include <string>

#include "scratch.hpp"
#include "windows/processes.hpp"

namespace zu::archive_fs::testing {
namespace {

using zu_test::windows::Child;
using zu_test::windows::Event;

constexpr std::uint64_t kMany = 1'000'000;

// hold_shared: opens arguments[0] for reading sharing reads only, sets the event
// arguments[1] and keeps it open until the event arguments[2] is set.
ZU_TEST_CHILD(hold_shared) {
  const HANDLE file = ::CreateFileW(wide(arguments.at(0)).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  Event(arguments.at(1)).set();
  const bool released = Event(arguments.at(2)).wait();
  ::CloseHandle(file);
  return released ? 0 : 2;
}

// stamp_times: sets the event arguments[1] once it has stamped arguments[0] with a first
// last-write time, then stamps ever new times, as fast as it can, until it is ended. The
// right to write attributes is not governed by share modes, so the library's open, which
// shares reads only, does not keep it out.
ZU_TEST_CHILD(stamp_times) {
  const HANDLE file = ::CreateFileW(wide(arguments.at(0)).c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  Event ready(arguments.at(1));
  for (LONGLONG tick = 130'000'000'000'000'000;; tick += 10'000'000) {
    FILE_BASIC_INFO basic{};
    basic.LastWriteTime.QuadPart = tick;
    if (::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof(basic)) == 0) return 2;
    ready.set();
  }
}

class NtStore : public ::testing::Test {
 protected:
  NtStore() : store_(open_store(scratch_.path())) {}

  // staged creates name through the library, writes bytes and seals it, as a writer does
  // before it publishes.
  Handle staged(const std::string& name, std::string_view bytes) {
    Handle file = create_file(store_, name);
    write_all(file, bytes);
    seal_file(file);
    sync(file);
    return file;
  }

  Scratch scratch_;
  Handle store_;
};

TEST_F(NtStore, PublishRenamesTheOpenFileToItsFinalName) {
  Identity made;
  {
    const Handle file = staged(".pending-1", "record");
    made = identity(file);
    publish(store_, file, ".pending-1", "final");
    finish_publication(store_, file);
    // The writer's handle shares reads only, so the published record is opened for
    // checking once the writer lets go of it.
    EXPECT_THROW(static_cast<void>(entry_status(store_, "final")), Rejected);
  }
  EXPECT_EQ(names_in(scratch_.path()), std::vector<std::string>{"final"});
  EXPECT_EQ(identity(scratch_.at("final")), made);
  EXPECT_EQ(read_bytes(scratch_.at("final")), "record");
  const Status published = entry_status(store_, "final");
  EXPECT_EQ(published.size, 6);
}

TEST_F(NtStore, PublishNeverReplacesAnExistingNameAndLeavesTheStagingFileInPlace) {
  make_file(scratch_.at("final"), "first");
  const Identity existing = identity(scratch_.at("final"));
  {
    const Handle file = staged(".pending-1", "second");
    EXPECT_THROW(publish(store_, file, ".pending-1", "final"), Rejected);
    EXPECT_THROW(publish(store_, file, ".pending-1", "FINAL"), Rejected);
    EXPECT_EQ(identity(scratch_.at("final")), existing);
    EXPECT_EQ(read_bytes(scratch_.at("final")), "first");
    EXPECT_EQ(identity(scratch_.at(".pending-1")), identity(file));
    // The failed publication is undone as a writer undoes it: the staging file goes
    // when the writer's handle closes, and nothing of the refused record stays.
    remove_staging(store_, file, ".pending-1");
  }
  EXPECT_EQ(names_in(scratch_.path()), std::vector<std::string>{"final"});
  EXPECT_EQ(read_bytes(scratch_.at("final")), "first");
}

TEST_F(NtStore, PublishMovesTheOpenFileWhateverStagingNameIsGiven) {
  const Handle file = staged(".pending-1", "record");
  publish(store_, file, "some other name", "final");
  EXPECT_EQ(names_in(scratch_.path()), std::vector<std::string>{"final"});
}

TEST_F(NtStore, PublishRefusesAFinalNameThatIsNotPortable) {
  const Handle file = staged(".pending-1", "record");
  for (const char* name : {"", "a:b", "..", "x.", "a\\b", "a/b"}) {
    EXPECT_THROW(publish(store_, file, ".pending-1", name), Rejected) << name;
  }
  EXPECT_EQ(names_in(scratch_.path()), std::vector<std::string>{".pending-1"});
}

TEST_F(NtStore, RemoveStagingDeletesTheFileWhenItsLastHandleCloses) {
  {
    const Handle file = staged(".pending-1", "half");
    remove_staging(store_, file, ".pending-1");
    // Until the handle closes, the name stays taken.
    EXPECT_THROW(static_cast<void>(create_file(store_, ".pending-1")), Rejected);
  }
  EXPECT_TRUE(names_in(scratch_.path()).empty());
}

TEST_F(NtStore, RemoveStagingNeverThrows) {
  make_file(scratch_.at("f"), "x");
  const Handle read_only = open_file(store_, "f", false);
  EXPECT_NO_THROW(remove_staging(store_, read_only, "f"));
  EXPECT_NO_THROW(remove_staging(store_, Handle(), "f"));
  // Without delete access nothing is marked, and the file stays.
  EXPECT_NO_THROW(static_cast<void>(status(read_only)));
  EXPECT_TRUE(exists(scratch_.at("f")));
}

TEST_F(NtStore, SyncFlushesFilesAndDirectoriesAndRefusesAnythingElse) {
  const Handle file = staged(".pending-1", "x");
  EXPECT_NO_THROW(sync(file));
  EXPECT_NO_THROW(sync(store_));
  const Handle directory = create_directory(store_, "d");
  EXPECT_NO_THROW(sync(directory));
  EXPECT_THROW(sync(Handle()), Rejected);
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ASSERT_NE(::CreatePipe(&read_end, &write_end, nullptr, 0), 0);
  const Handle pipe_read(read_end);
  const Handle pipe_write(write_end);
  EXPECT_THROW(sync(pipe_write), Rejected);
}

TEST_F(NtStore, CapacityCountsEntriesAgainstMaxEntries) {
  EXPECT_NO_THROW(check_capacity(store_, 1, kMany, 0));
  make_file(scratch_.at("a"), "x");
  EXPECT_THROW(check_capacity(store_, 1, kMany, 0), Rejected);
  EXPECT_NO_THROW(check_capacity(store_, 2, kMany, 0));
  make_file(scratch_.at("b"), "x");
  EXPECT_THROW(check_capacity(store_, 2, kMany, 0), Rejected);
  EXPECT_NO_THROW(check_capacity(store_, 3, kMany, 0));
}

TEST_F(NtStore, CapacityAddsTheIncomingBytesToTheStoredOnes) {
  make_file(scratch_.at("a"), std::string(300, 'a'));
  make_file(scratch_.at("b"), std::string(200, 'b'));
  EXPECT_NO_THROW(check_capacity(store_, 10, 600, 100));
  EXPECT_THROW(check_capacity(store_, 10, 600, 101), Rejected);
  EXPECT_THROW(check_capacity(store_, 10, 499, 0), Rejected);
  EXPECT_NO_THROW(check_capacity(store_, 10, 500, 0));
}

TEST_F(NtStore, CapacityOfZeroEntriesHoldsNothing) {
  EXPECT_THROW(check_capacity(store_, 0, kMany, 0), Rejected);
}

TEST_F(NtStore, CapacityCountsAStagingFileLikeARecord) {
  {
    // What a writer that died before sealing leaves: a writable staging file.
    const Handle writing = create_file(store_, ".pending-1");
    write_all(writing, std::string(100, 'x'));
    // While it is being written nobody else reads it: the scan cannot open it.
    EXPECT_THROW(check_capacity(store_, 10, kMany, 0), Rejected);
  }
  EXPECT_THROW(check_capacity(store_, 1, kMany, 0), Rejected);
  EXPECT_THROW(check_capacity(store_, 10, 150, 51), Rejected);
  EXPECT_NO_THROW(check_capacity(store_, 10, 150, 50));
}

TEST_F(NtStore, CapacityCountsEveryEntryOfAStoreLongerThanOneListingBuffer) {
  // 400 records of 100-character names take about 300 bytes of listing each: two
  // buffers of 64 KiB and part of a third.
  constexpr int kEntries = 400;
  for (int i = 0; i < kEntries; ++i) {
    const std::string number = std::to_string(i);
    make_file(scratch_.at(std::string(100 - number.size(), 'r') + number), "x");
  }
  EXPECT_THROW(check_capacity(store_, kEntries, kMany, 0), Rejected);
  EXPECT_NO_THROW(check_capacity(store_, kEntries + 1, kMany, 0));
  EXPECT_THROW(check_capacity(store_, kEntries + 1, kEntries + 9, 10), Rejected);
  EXPECT_NO_THROW(check_capacity(store_, kEntries + 1, kEntries + 10, 10));
}

TEST_F(NtStore, CapacityRefusesASubDirectoryEvenAnEmptyOne) {
  make_directory(scratch_.at("d"));
  EXPECT_THROW(check_capacity(store_, 10, kMany, 0), Rejected);
}

TEST_F(NtStore, CapacityRefusesAHardLinkedRecord) {
  make_file(scratch_.at("a"), "x");
  ASSERT_NE(::CreateHardLinkW(wide(scratch_.at("b")).c_str(), wide(scratch_.at("a")).c_str(),
                              nullptr),
            0);
  EXPECT_THROW(check_capacity(store_, 10, kMany, 0), Rejected);
}

TEST_F(NtStore, CapacityRefusesAForeignOrUnprotectedOrWidenedFile) {
  const std::string user = user_sid();
  const struct {
    const char* sddl;
    unsigned long info;
  } scenes[] = {
      {"O:SY", OWNER_SECURITY_INFORMATION},
      {"D:(A;;FR;;;USER)", DACL_SECURITY_INFORMATION},
      {"D:P(A;;FR;;;USER)(A;;FR;;;BU)", DACL_SECURITY_INFORMATION},
      {"D:P(A;ID;FR;;;USER)", DACL_SECURITY_INFORMATION},
      {"D:NO_ACCESS_CONTROL", DACL_SECURITY_INFORMATION},
  };
  for (const auto& scene : scenes) {
    std::string sddl = scene.sddl;
    for (std::size_t at; (at = sddl.find("USER")) != std::string::npos;) sddl.replace(at, 4, user);
    Scratch scratch;
    const Handle store = open_store(scratch.path());
    make_file(scratch.at("record"), "x");
    EXPECT_NO_THROW(check_capacity(store, 10, kMany, 0));
    set_descriptor(scratch.at("record"), sddl, scene.info);
    EXPECT_THROW(check_capacity(store, 10, kMany, 0), Rejected) << sddl;
  }
}

TEST_F(NtStore, CapacityRefusesANameTheArchiveWouldNeverMake) {
  // "\\?\" passes the name to the file system as it is, trailing dot included.
  const std::wstring odd = L"\\\\?\\" + wide(scratch_.at("odd."));
  const HANDLE raw = ::CreateFileW(odd.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE) << ::GetLastError();
  ::CloseHandle(raw);
  ASSERT_EQ(names_in(scratch_.path()), std::vector<std::string>{"odd."});
  EXPECT_THROW(check_capacity(store_, 10, kMany, 0), Rejected);
}

TEST_F(NtStore, CapacityRefusesAnEntryAnotherProcessHoldsForWriting) {
  make_file(scratch_.at("a"), "x");
  Event ready;
  Event release;
  {
    Child holder("hold_shared", {scratch_.at("a"), ready.name(), release.name()});
    ASSERT_TRUE(ready.wait());
    // A reader that shares reads does not stop the scan.
    EXPECT_NO_THROW(check_capacity(store_, 10, kMany, 0));
    release.set();
    EXPECT_EQ(holder.wait(), 0);
  }
  const HANDLE writer = ::CreateFileW(wide(scratch_.at("a")).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_THROW(check_capacity(store_, 10, kMany, 0), Rejected);
  ::CloseHandle(writer);
  EXPECT_NO_THROW(check_capacity(store_, 10, kMany, 0));
}

TEST_F(NtStore, AKeyInsideTheStoreOrBelowItIsRefusedAndOneBesideItPasses) {
  make_directory(scratch_.at("store"));
  make_directory(scratch_.at("store/keys"));
  make_directory(scratch_.at("keys"));
  const Handle store = open_store(scratch_.at("store"));
  EXPECT_THROW(independent_key_parent(store, locate(scratch_.at("store/key"))), Rejected);
  EXPECT_THROW(independent_key_parent(store, locate(scratch_.at("store/keys/key"))), Rejected);
  EXPECT_NO_THROW(independent_key_parent(store, locate(scratch_.at("keys/key"))));
  EXPECT_NO_THROW(independent_key_parent(store, locate(scratch_.at("key"))));
}

TEST_F(NtStore, ReadAllTakesAFileOfExactlyMaxSizeAndRefusesOneByteMore) {
  make_file(scratch_.at("f"), std::string(1000, 'r'));
  const Handle file = open_file(store_, "f", false);
  EXPECT_EQ(read_all(file, 1000), std::string(1000, 'r'));
  EXPECT_THROW(static_cast<void>(read_all(file, 999)), Rejected);
  make_file(scratch_.at("empty"), "");
  EXPECT_EQ(read_all(open_file(store_, "empty", false), 0), "");
}

TEST_F(NtStore, ReadAllRefusesAFileWhoseTimesChangeWhileItIsRead) {
  make_file(scratch_.at("busy"), std::string(std::size_t{32} << 20, 'r'));
  const Handle file = open_file(store_, "busy", false);
  int refused = 0;
  {
    Event ready;
    Child stamper("stamp_times", {scratch_.at("busy"), ready.name()});
    ASSERT_TRUE(ready.wait()) << "the other process could not stamp the file";
    for (int attempt = 0; attempt < 20; ++attempt) {
      try {
        static_cast<void>(read_all(file, std::size_t{64} << 20));
      } catch (const Rejected&) {
        ++refused;
      }
    }
  }
  EXPECT_GT(refused, 0);
  // At rest the same file reads back whole.
  EXPECT_EQ(read_all(file, std::size_t{64} << 20).size(), std::size_t{32} << 20);
}

TEST_F(NtStore, ReadAllReadsFromTheStartWhereverThePositionIs) {
  const Handle file = create_file(store_, "f");
  write_all(file, "0123456789");
  EXPECT_EQ(read_all(file, 100), "0123456789");
  EXPECT_EQ(read_all(file, 100), "0123456789");
}

TEST_F(NtStore, ReadAllRefusesADirectoryAndAHandleItCannotRead) {
  EXPECT_THROW(static_cast<void>(read_all(store_, kMany)), Rejected);
  const Handle directory = create_directory(store_, "d");
  EXPECT_THROW(static_cast<void>(read_all(directory, kMany)), Rejected);
  EXPECT_THROW(static_cast<void>(read_all(Handle(), kMany)), Rejected);
}

TEST_F(NtStore, WriteAllWritesEverythingAtTheCurrentPositionAndRefusesAReadOnlyHandle) {
  const Handle file = create_file(store_, "f");
  write_all(file, "");
  write_all(file, std::string(70'000, 'a'));
  write_all(file, "tail");
  EXPECT_EQ(status(file).size, 70'004);
  EXPECT_EQ(read_all(file, 70'004).substr(69'998), "aatail");
  make_file(scratch_.at("g"), "x");
  EXPECT_THROW(write_all(open_file(store_, "g", false), "more"), Rejected);
}

}  // namespace
}  // namespace zu::archive_fs::testing
