// Where an open archive keeps its key material: the custody key and the key file's bytes
// lie only in memory that core dumps leave out and that is locked against swapping where
// the lock limit allows it, and an archive opens as well when the limit refuses the lock.
// The kernel's own account of the process's memory, /proc/self/smaps, is what is checked.
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "archive_fixture.hpp"

namespace zu_test {
namespace {

using Messages = std::vector<zu::Message>;

// Region is one mapping of this process as smaps describes it.
struct Region {
  std::uintptr_t begin = 0;
  std::uintptr_t end = 0;
  bool writable_data = false;  // private, readable and writable, and no special kernel page
  std::vector<std::string> flags;

  bool has(std::string_view flag) const {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
  }
};

std::vector<Region> regions() {
  std::vector<Region> found;
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  while (std::getline(smaps, line)) {
    std::istringstream fields(line);
    std::string first;
    fields >> first;
    if (first == "VmFlags:") {
      for (std::string flag; fields >> flag;) found.back().flags.push_back(flag);
      continue;
    }
    const std::size_t dash = first.find('-');
    if (dash == std::string::npos || first.back() == ':') continue;
    Region region;
    region.begin = std::stoull(first.substr(0, dash), nullptr, 16);
    region.end = std::stoull(first.substr(dash + 1), nullptr, 16);
    std::string permissions, offset, device, inode, name;
    fields >> permissions >> offset >> device >> inode;
    std::getline(fields, name);
    region.writable_data = permissions.rfind("rw", 0) == 0 && permissions[3] == 'p' &&
                           name.find("[v") == std::string::npos;
    found.push_back(region);
  }
  return found;
}

// Sighting is one place where some bytes were found: in memory left out of core dumps or
// not, and locked or not.
struct Sighting {
  bool dump_excluded;
  bool locked;
};

// sightings returns every place in this process's writable data where `needle` occurs,
// except the needle itself. Memory is read through /proc/self/mem, as the kernel sees
// it, so that no sanitizer takes the reading of freed or guard bytes for a fault; regions
// of more than 64 MiB (a sanitizer's shadow and reserves, nothing this test allocates)
// are passed over.
std::vector<Sighting> sightings(std::string_view needle) {
  std::vector<Sighting> seen;
  const int memory = ::open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
  if (memory < 0) {
    ADD_FAILURE() << "cannot read /proc/self/mem";
    return seen;
  }
  // The buffer itself holds copies of what it read, so it is left out of the search.
  constexpr std::size_t kChunk = 1 << 20;
  std::vector<char> chunk(kChunk);
  const auto own = [&](std::uintptr_t address) {
    const auto first = reinterpret_cast<std::uintptr_t>(chunk.data());
    return address == reinterpret_cast<std::uintptr_t>(needle.data()) ||
           (address + needle.size() > first && address < first + kChunk);
  };
  for (const Region& region : regions()) {
    if (!region.writable_data || region.end - region.begin > (std::uintptr_t{64} << 20)) continue;
    // Chunks overlap by one byte less than the needle, so each occurrence lies whole in
    // exactly one of them.
    for (std::uintptr_t from = region.begin; from < region.end;) {
      const std::size_t want = std::min<std::uintptr_t>(kChunk, region.end - from);
      const ssize_t got = ::pread(memory, chunk.data(), want, static_cast<off_t>(from));
      if (got < static_cast<ssize_t>(needle.size())) break;
      const std::string_view read(chunk.data(), static_cast<std::size_t>(got));
      for (std::size_t at = read.find(needle); at != std::string_view::npos; at = read.find(needle, at + 1)) {
        if (!own(from + at)) seen.push_back({region.has("dd"), region.has("lo")});
      }
      if (from + read.size() >= region.end) break;
      from += read.size() - (needle.size() - 1);
    }
  }
  ::close(memory);
  std::fill(chunk.begin(), chunk.end(), '\0');
  return seen;
}

// key_file_bytes reads the key file straight into `out`, with no buffer in between that
// would leave a copy behind.
bool key_file_bytes(const std::string& path, char (&out)[96]) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool whole = ::read(fd, out, sizeof out) == static_cast<ssize_t>(sizeof out);
  ::close(fd);
  return whole;
}

// may_lock returns whether this process may lock a few more pages: it holds the
// capability that lifts the limit, or the limit leaves room; and no sanitizer stands in
// for mlock (AddressSanitizer's succeeds without locking anything).
bool may_lock() {
  if (kAddressSanitizer) return false;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (::syscall(SYS_capget, &header, data) == 0 &&
      (data[CAP_IPC_LOCK / 32].effective & (1U << (CAP_IPC_LOCK % 32))) != 0) {
    return true;
  }
  rlimit limit{};
  return ::getrlimit(RLIMIT_MEMLOCK, &limit) == 0 && limit.rlim_cur >= 64 * 1024;
}

// refuse_locks makes every later lock of this process fail: no lock limit, and not the
// capability that would lift it.
bool refuse_locks() {
  const rlimit none{0, 0};
  if (::setrlimit(RLIMIT_MEMLOCK, &none) != 0) return false;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (::syscall(SYS_capget, &header, data) != 0) return false;
  for (auto& set : data) set.effective &= ~(1U << (CAP_IPC_LOCK % 32));
  data[CAP_IPC_LOCK / 32].permitted &= ~(1U << (CAP_IPC_LOCK % 32));
  return ::syscall(SYS_capset, &header, data) == 0;
}

TEST_F(ArchiveTest, KeyMaterialLiesOnlyInMemoryLeftOutOfCoreDumpsAndLockedWhereAllowed) {
  const ArchivePtr archive = made();
  char key_file[96];
  ASSERT_TRUE(key_file_bytes(key_path(), key_file));
  const std::string_view custody_key(key_file, 32);

  // The key file's bytes once, and the custody key once more on its own.
  const std::vector<Sighting> whole = sightings({key_file, sizeof key_file});
  const std::vector<Sighting> keys = sightings(custody_key);
  EXPECT_EQ(whole.size(), 1u);
  EXPECT_EQ(keys.size(), 2u);
  for (const Sighting& seen : keys) {
    EXPECT_TRUE(seen.dump_excluded);
    if (may_lock()) {
      EXPECT_TRUE(seen.locked);
    }
  }
  // Saving and loading leave no copy elsewhere.
  const auto key = archive->save({user_text("kept")}, "s");
  ASSERT_TRUE(std::holds_alternative<std::string>(key));
  ASSERT_TRUE(std::holds_alternative<Messages>(archive->load(std::get<std::string>(key), "s")));
  EXPECT_EQ(sightings(custody_key).size(), 2u);
  for (const Sighting& seen : sightings(custody_key)) EXPECT_TRUE(seen.dump_excluded);
}

// scrub_dead_stack overwrites the stack below its caller's frame, where calls that have
// returned left their frames; how much of those later calls happen to overwrite depends
// on the build's frame sizes.
[[gnu::noinline]] void scrub_dead_stack() {
  volatile char below[64 * 1024];
  for (volatile char& byte : below) byte = 0;
}

// A refused open has read the key file and tried its custody key before the admission
// MAC failed: every buffer that held them is wiped on the way out, so only the open
// archive's own copies remain in the heap and in live memory. The needle is the key's
// second half, which a freed heap block keeps intact (the allocator writes over a
// block's first bytes).
TEST_F(ArchiveTest, ARefusedOpenLeavesNoCopyOfTheKeyItRead) {
  const ArchivePtr archive = made();
  char key_file[96];
  ASSERT_TRUE(key_file_bytes(key_path(), key_file));
  const std::string_view key_tail(key_file + 16, 16);
  ASSERT_EQ(sightings(key_tail).size(), 2u);
  for (int attempt = 0; attempt < 3; ++attempt) {
    ASSERT_TRUE(std::holds_alternative<zu::Error>(open({}, "another-owner")));
  }
  scrub_dead_stack();
  EXPECT_EQ(sightings(key_tail).size(), 2u);
}

TEST_F(ArchiveTest, AnArchiveWorksWhenTheLockLimitRefusesItsKeyMemory) {
  made();
  const int code = zu::archive_fs::testing::in_child([this] {
    if (!refuse_locks()) return 2;
    auto opened = open();
    if (!std::holds_alternative<ArchivePtr>(opened)) return 3;
    const ArchivePtr& archive = std::get<ArchivePtr>(opened);
    const auto key = archive->save({user_text("kept")}, "s");
    if (!std::holds_alternative<std::string>(key)) return 4;
    if (!std::holds_alternative<Messages>(archive->load(std::get<std::string>(key), "s"))) return 5;
    char key_file[96];
    if (!key_file_bytes(key_path(), key_file)) return 6;
    const std::vector<Sighting> keys = sightings({key_file, 32});
    if (keys.size() != 2) return 7;
    for (const Sighting& seen : keys) {
      if (!seen.dump_excluded || seen.locked) return 8;
    }
    return 0;
  });
  EXPECT_EQ(code, 0);
}

}  // namespace
}  // namespace zu_test
