// The private check on the NT backend. Each refused shape is written the way an attacker
// would write it, with SetSecurityInfo on the object (under Wine, into the descriptors the
// test keeps for it), and read back by the library through GetSecurityInfo.
#include <gtest/gtest.h>

#include <string>

#include "scratch.hpp"

namespace zu::archive_fs::testing {
namespace {

constexpr unsigned long kOwner = OWNER_SECURITY_INFORMATION;
constexpr unsigned long kList = DACL_SECURITY_INFORMATION;

class NtPrivate : public ::testing::Test {
 protected:
  NtPrivate() : store_(open_store(scratch_.path())), user_(user_sid()) {}

  // entry returns one access-allowed entry of descriptor text granting rights to sid.
  static std::string entry(const std::string& rights, const std::string& sid,
                           const std::string& flags = "") {
    return "(A;" + flags + ";" + rights + ";;;" + sid + ")";
  }

  // directory_with makes a directory through the library, then writes `list` to it.
  Handle directory_with(const std::string& name, const std::string& list) {
    Handle made = create_directory(store_, name);
    set_descriptor(scratch_.at(name), list, kList);
    return made;
  }
  // file_with makes a sealed file outside the library, writes `sddl`'s parts named by
  // info, and opens it through the library.
  Handle file_with(const std::string& name, const std::string& sddl, unsigned long info) {
    make_file(scratch_.at(name), "record");
    set_descriptor(scratch_.at(name), sddl, info);
    return open_file(store_, name, false);
  }

  Scratch scratch_;
  Handle store_;
  std::string user_;
};

TEST_F(NtPrivate, ADirectoryPassesOnlyWithItsOneFullControlEntry) {
  const Handle good = create_directory(store_, "good");
  EXPECT_NO_THROW(private_directory(good));
  const Handle read_only = directory_with("read-only", "D:P" + entry("FR", user_));
  EXPECT_THROW(private_directory(read_only), Rejected);
  const Handle extra = directory_with("extra", "D:P" + entry("FA", user_) + entry("FR", "BA"));
  EXPECT_THROW(private_directory(extra), Rejected);
}

TEST_F(NtPrivate, AFilePassesOnlyInTheShapeAskedForAndEachShapeRefusesTheOther) {
  make_file(scratch_.at("sealed"), "x", Shape::sealed);
  make_file(scratch_.at("writable"), "x", Shape::writable);
  const Handle sealed = open_file(store_, "sealed", false);
  const Handle writable = open_file(store_, "writable", false);
  EXPECT_NO_THROW(private_file(sealed, true));
  EXPECT_THROW(private_file(sealed, false), Rejected);
  EXPECT_NO_THROW(private_file(writable, false));
  EXPECT_THROW(private_file(writable, true), Rejected);
}

TEST_F(NtPrivate, AnObjectOwnedByAnotherAccountIsRefused) {
  for (const char* owner : {"SY", "BA", "WD", "S-1-5-21-1-2-3-1001"}) {
    const std::string name = std::string("owned-") + (owner[0] == 'S' && owner[1] == '-' ? "user" : owner);
    const Handle file = file_with(name, std::string("O:") + owner, kOwner);
    EXPECT_THROW(private_file(file, true), Rejected) << owner;
  }
  const Handle directory = create_directory(store_, "directory");
  set_descriptor(scratch_.at("directory"), "O:BA", kOwner);
  EXPECT_THROW(private_directory(directory), Rejected);
}

TEST_F(NtPrivate, AListThatIsNotProtectedIsRefused) {
  const Handle file = file_with("f", "D:" + entry("FR", user_), kList);
  EXPECT_THROW(private_file(file, true), Rejected);
  const Handle directory = directory_with("d", "D:" + entry("FA", user_));
  EXPECT_THROW(private_directory(directory), Rejected);
}

TEST_F(NtPrivate, ASecondAllowOrAnyDenyEntryIsRefused) {
  const Handle system = file_with("system", "D:P" + entry("FR", user_) + entry("FR", "SY"), kList);
  EXPECT_THROW(private_file(system, true), Rejected);
  const Handle twice = file_with("twice", "D:P" + entry("FR", user_) + entry("FR", user_), kList);
  EXPECT_THROW(private_file(twice, true), Rejected);
  const Handle deny =
      file_with("deny", "D:P(D;;FW;;;WD)" + entry("FR", user_), kList);
  EXPECT_THROW(private_file(deny, true), Rejected);
  const Handle only_deny = file_with("only-deny", "D:P(D;;FA;;;" + user_ + ")", kList);
  EXPECT_THROW(private_file(only_deny, true), Rejected);
}

TEST_F(NtPrivate, AnInheritedOrInheritableEntryIsRefused) {
  // ID: inherited from the parent; OI, CI: handed down to children; IO: inherit only.
  for (const char* flags : {"ID", "OI", "CI", "OICI", "IO", "NP"}) {
    const Handle file =
        file_with(std::string("f-") + flags, "D:P" + entry("FR", user_, flags), kList);
    EXPECT_THROW(private_file(file, true), Rejected) << flags;
  }
  const Handle directory = directory_with("d", "D:P" + entry("FA", user_, "OICI"));
  EXPECT_THROW(private_directory(directory), Rejected);
}

TEST_F(NtPrivate, ANullOrEmptyListIsRefused) {
  // A null list grants everyone everything; an empty one grants nothing, not even the
  // owner's reads.
  const Handle null_list = file_with("null", "D:NO_ACCESS_CONTROL", kList);
  EXPECT_THROW(private_file(null_list, true), Rejected);
  const Handle empty = file_with("empty", "D:P", kList);
  EXPECT_THROW(private_file(empty, true), Rejected);
}

TEST_F(NtPrivate, TheMaskMustBeExactlyTheMappedRights) {
  // Generic rights are mapped only when access is checked; a list that holds them, or
  // more or fewer rights than the shape's, is refused.
  for (const char* rights : {"GR", "GA", "0x120089", "0x1F01FF", "0x12008B", "0x120088",
                             "0x11F01FF", "FRSD"}) {
    const std::string name = std::string("mask-") + rights;
    const Handle file = file_with(name, "D:P" + entry(rights, user_), kList);
    if (std::string(rights) == "0x120089") {
      EXPECT_NO_THROW(private_file(file, true)) << rights;
    } else if (std::string(rights) == "0x1F01FF") {
      EXPECT_NO_THROW(private_file(file, false)) << rights;
    } else {
      EXPECT_THROW(private_file(file, true), Rejected) << rights;
      EXPECT_THROW(private_file(file, false), Rejected) << rights;
    }
  }
}

TEST_F(NtPrivate, AnEntryForAnotherAccountIsRefusedEvenWithTheRightOwner) {
  const Handle file = file_with("f", "D:P" + entry("FR", "S-1-5-21-1-2-3-1001"), kList);
  EXPECT_THROW(private_file(file, true), Rejected);
  const Handle everyone = file_with("g", "D:P" + entry("FR", "WD"), kList);
  EXPECT_THROW(private_file(everyone, true), Rejected);
}

TEST_F(NtPrivate, AHardLinkedFileIsRefusedThroughEitherName) {
  make_file(scratch_.at("f"), "x");
  ASSERT_NE(::CreateHardLinkW(wide(scratch_.at("g")).c_str(), wide(scratch_.at("f")).c_str(),
                              nullptr),
            0)
      << ::GetLastError();
  const Handle first = open_file(store_, "f", false);
  const Handle second = open_file(store_, "g", false);
  EXPECT_THROW(private_file(first, true), Rejected);
  EXPECT_THROW(private_file(second, true), Rejected);
}

TEST_F(NtPrivate, ChecksOfTheWrongKindAreRefused) {
  make_file(scratch_.at("f"), "x", Shape::writable);
  const Handle directory = create_directory(store_, "d");
  const Handle file = open_file(store_, "f", false);
  EXPECT_THROW(private_file(directory, false), Rejected);
  EXPECT_THROW(private_directory(file), Rejected);
  EXPECT_THROW(private_directory(Handle()), Rejected);
}

TEST_F(NtPrivate, AnObjectMadeWithoutADescriptorIsRefused) {
  // Made by CreateDirectoryW and CreateFileW without one, the objects carry what the
  // system gives them by default (under Wine, Wine's own answer): never the private shape.
  ASSERT_NE(::CreateDirectoryW(wide(scratch_.at("d")).c_str(), nullptr), 0);
  const HANDLE raw = ::CreateFileW(wide(scratch_.at("f")).c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  zu_test::windows::forget_descriptor(raw);
  ::CloseHandle(raw);
  {
    const Handle directory = open_directory(store_, "d");
    zu_test::windows::forget_descriptor(directory.get());
    EXPECT_THROW(private_directory(directory), Rejected);
  }
  const Handle file = open_file(store_, "f", false);
  EXPECT_THROW(private_file(file, false), Rejected);
  EXPECT_THROW(private_file(file, true), Rejected);
}

TEST_F(NtPrivate, SealingTurnsAWritableFileIntoASealedOneThatStillTakesWrites) {
  const Handle file = create_file(store_, "f");
  write_all(file, "before");
  seal_file(file);
  EXPECT_EQ(descriptor_of(scratch_.at("f")), private_sddl("FR"));
  EXPECT_NO_THROW(private_file(file, true));
  EXPECT_THROW(private_file(file, false), Rejected);
  write_all(file, " after");
  EXPECT_NO_THROW(sync(file));
  EXPECT_EQ(status(file).size, 12);
  // The owner stays the one the file was made with.
  EXPECT_EQ(descriptor_of(file).substr(0, 2 + user_.size()), "O:" + user_);
}

TEST_F(NtPrivate, SealRefusesAHandleWithoutTheRightToChangeTheList) {
  make_file(scratch_.at("f"), "x", Shape::writable);
  const Handle file = open_file(store_, "f", false);
  EXPECT_THROW(seal_file(file), Rejected);
  EXPECT_EQ(descriptor_of(scratch_.at("f")), private_sddl("FA"));
}

}  // namespace
}  // namespace zu::archive_fs::testing
