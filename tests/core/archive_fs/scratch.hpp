// Fixtures of the archive file-system suites: a private scratch directory on the real
// file system, and the raw POSIX steps with which tests build the hostile shapes that
// the library must refuse. These use plain system calls on purpose, so that a test never
// depends on the code it checks to set the scene.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "zu/archive_fs.hpp"

namespace zu::archive_fs::testing {

// The user a "foreign" object is given to.
inline constexpr uid_t kOtherUser = 65534;

// Scratch is a fresh directory of mode 0700 under base (a local disk file system),
// removed with everything in it when the test ends.
class Scratch {
 public:
  explicit Scratch(const std::string& base = "/tmp");
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  // path returns the scratch directory's absolute path.
  const std::string& path() const { return path_; }
  // at returns the absolute path of relative inside the scratch directory.
  std::string at(std::string_view relative) const;

 private:
  std::string path_;
};

// make_directory creates path with exactly mode (the umask cannot change it).
void make_directory(const std::string& path, mode_t mode = 0700);
// make_file creates path with bytes and exactly mode.
void make_file(const std::string& path, std::string_view bytes, mode_t mode = 0400);
// stat_of returns lstat of path; the test fails when that is impossible.
struct stat stat_of(const std::string& path);
// mode_of returns the twelve mode bits of path.
mode_t mode_of(const std::string& path);

// add_acl_entry adds a POSIX access control list entry for user to path (to its default
// list instead when default_list is set, which only directories take). The list's mask
// is the object's group bits, which are empty for a private object, so the entry grants
// nothing yet and the mode stays as it was: only the list itself tells the object apart
// from a private one. It returns false when the
// file system does not support such lists.
bool add_acl_entry(const std::string& path, uid_t user, bool default_list = false);

// volume_of returns the volume a Status of path must report: the file system's
// identifier as statfs gives it, high word first, or the device where it is zero.
std::uint64_t volume_of(const std::string& path);

// file_id_of returns the file_id a Status of path must report: the inode number, with the
// inode's generation number (bit 32 set when there is one) and birth time in nanoseconds
// (0 where unknown) folded in as mix(mix(generation) ^ birth), mix being SplitMix64's
// last step.
std::uint64_t file_id_of(const std::string& path);

// open_store locates path and opens the directory it names.
Handle open_store(const std::string& path);

// same_object returns whether a handle's Status denotes the object at path.
bool same_object(const Handle& handle, const std::string& path);

// in_child runs body in a forked child and returns the child's exit code: body's result,
// or 99 when body threw. It returns -1 when the child ended by a signal, or was still
// running after timeout_ms and was killed. body must not use the test framework.
int in_child(const std::function<int()>& body, int timeout_ms = 10'000);

// UmaskGuard sets the process umask for the life of the guard.
class UmaskGuard {
 public:
  explicit UmaskGuard(mode_t mask) : previous_(::umask(mask)) {}
  ~UmaskGuard() { ::umask(previous_); }
  UmaskGuard(const UmaskGuard&) = delete;
  UmaskGuard& operator=(const UmaskGuard&) = delete;

 private:
  mode_t previous_;
};

}  // namespace zu::archive_fs::testing
