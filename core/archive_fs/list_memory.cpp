#include "archive_fs/list_memory.hpp"

#include <algorithm>
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
  const bool whole_seconds = object.change_time % 1'000'000'000 == 0;
  const std::int64_t settled = whole_seconds ? kSettledCoarse : kSettledFine;
  if (object.change_time < now_ - settled) kept_.push_back(object);
}

void ListMemory::end() noexcept {
  // Directory order is not inode order; the sort makes each lookup a binary search.
  std::sort(kept_.begin(), kept_.end(), by_file);
  std::swap(known_, kept_);
  kept_.clear();
}

}  // namespace zu::archive_fs
