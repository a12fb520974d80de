// What earlier capacity scans of one store proved about its entries' access control
// lists, so that a later scan reads the lists only of entries that may have changed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs {

// ListMemory remembers objects that a scan read free of access control lists, each with
// the change time it had then. A later scan that finds an object at exactly that change
// time need not read its lists again: it is proven free of them still.
//
// Why an unmoved change time proves the lists unchanged: on every file system the POSIX
// backend accepts, setting or removing a list (setxattr, removexattr, setfacl, or a
// chmod that rewrites a list's mask) sets the object's change time to the present, and
// nothing a process can call sets a change time to anything else (utimensat sets the
// other two times). The present is taken from a clock that may lag the real-time clock
// by a scheduler tick, and truncated to the file system's granularity, a power of ten
// from a nanosecond to a second. So an object is remembered only when its change time
// lies clearly before the real-time clock as read before its lists were read: by
// kSettledFine when the change time has a fraction of a second (the granularity is then
// at most a tenth of a second), by kSettledCoarse when it has none. A list changed after
// that read then gets a later change time than the one remembered. What this cannot
// tell is a superuser who steps the clock back to the very time remembered, or edits the
// disk by hand; the superuser can read the key file anyway.
//
// A plain value: the one archive that owns it lets one scan at a time use it.
class ListMemory {
 public:
  // How far a change time must lie in the past before it is remembered, in nanoseconds:
  // a tenth of a second of truncation and a tick of lag at most, with room to spare, or
  // a whole second of truncation.
  static constexpr std::int64_t kSettledFine = 250'000'000;
  static constexpr std::int64_t kSettledCoarse = 2'000'000'000;

  // Object names a file and its change time, in nanoseconds since the epoch.
  struct Object {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t change_time = 0;
    friend bool operator==(const Object&, const Object&) = default;
  };

  // begin starts a scan that started reading lists at real time `now` (nanoseconds since
  // the epoch); the calls below then answer from what earlier scans kept.
  void begin(std::int64_t now);

  // known_free returns whether `object` was remembered free of lists at exactly its
  // change time; if so it is kept for the next scan.
  bool known_free(const Object& object);

  // read_free tells that the lists of `object` were just read and found absent; it is
  // kept for the next scan when its change time has settled.
  void read_free(const Object& object);

  // end makes what this scan kept the memory of the next. Never throws.
  void end() noexcept;

 private:
  // known_ is what the last scan kept, sorted; kept_ is what this scan keeps.
  std::vector<Object> known_;
  std::vector<Object> kept_;
  // now_ is when the scan started reading lists.
  std::int64_t now_ = 0;
};

// settled returns whether change_time lies far enough before `now` (both in nanoseconds
// since the epoch) that a list changed after `now` gets a later change time.
bool settled(std::int64_t change_time, std::int64_t now) noexcept;

// AdmittedListMemory is ListMemory's rule applied to the few objects that an archive
// re-verifies before every use: its store directory, its key's directory and its key
// file. Safe to use from several threads at once.
class AdmittedListMemory {
 public:
  // known_free returns whether `object` was remembered free of lists at exactly its
  // change time.
  bool known_free(const ListMemory::Object& object) const;

  // read_free tells that the lists of `object` were read and found absent after the
  // real-time clock showed `now`; it is remembered when its change time has settled.
  void read_free(const ListMemory::Object& object, std::int64_t now);

 private:
  mutable std::mutex mutex_;
  // known_ holds the objects remembered, an empty slot being all zero, which names no
  // file; next_ is the slot the next new object takes.
  std::array<ListMemory::Object, 4> known_{};
  std::size_t next_ = 0;
};

// check_capacity is the public check_capacity, which on POSIX reads the lists of only
// those entries that `memory` cannot prove unchanged, and leaves in `memory` what this
// scan proved. The NT backend reads every entry's list, as the public one does.
void check_capacity(const Handle& directory, std::uint64_t max_entries, std::uint64_t max_bytes,
                    std::uint64_t incoming_bytes, ListMemory& memory);

}  // namespace zu::archive_fs
