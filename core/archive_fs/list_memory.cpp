#include "archive_fs/list_memory.hpp"

#include <algorithm>
#include <mutex>
#include <tuple>
#include <utility>

namespace zu::archive_fs {
namespace {

bool by_file(const ListMemory::Object& a, const ListMemory::Object& b) noexcept {
  return std::tie(a.device, a.inode) < std::tie(b.device, b.inode);
}

}  // namespace

void ListMemory::begin(std::int64_t now) {
  kept_.clear();
  kept_.reserve(known_.size() + 1);
  now_ = now;
}

bool ListMemory::known_free(const Object& object) {
  const auto found = std::lower_bound(known_.begin(), known_.end(), object, by_file);
  if (found == known_.end() || !(*found == object)) return false;
  kept_.push_back(object);
  return true;
}

void ListMemory::read_free(const Object& object) {
  if (settled(object.change_time, now_)) kept_.push_back(object);
}

void ListMemory::end() noexcept {
  // Directory order is not inode order; the sort makes each lookup a binary search.
  std::sort(kept_.begin(), kept_.end(), by_file);
  std::swap(known_, kept_);
  kept_.clear();
}

bool settled(std::int64_t change_time, std::int64_t now) noexcept {
  const bool whole_seconds = change_time % 1'000'000'000 == 0;
  return change_time <
         now - (whole_seconds ? ListMemory::kSettledCoarse : ListMemory::kSettledFine);
}

bool AdmittedListMemory::known_free(const ListMemory::Object& object) const {
  const std::lock_guard<std::mutex> hold(mutex_);
  return std::find(known_.begin(), known_.end(), object) != known_.end();
}

void AdmittedListMemory::read_free(const ListMemory::Object& object, std::int64_t now) {
  if (!settled(object.change_time, now)) return;
  const std::lock_guard<std::mutex> hold(mutex_);
  // One slot per file: a file seen at a newer change time replaces what was remembered.
  for (ListMemory::Object& known : known_) {
    if (known.device == object.device && known.inode == object.inode) {
      known = object;
      return;
    }
  }
  known_[next_] = object;
  next_ = (next_ + 1) % known_.size();
}

}  // namespace zu::archive_fs
