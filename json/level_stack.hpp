// A stack of open containers for the iterative walks over a document. It lives on the
// machine stack for ordinary depths and moves to the heap only for deep documents, so
// no walk recurses and shallow ones never allocate.
//
// A push may move the levels to a larger block, so the stack holds its levels by value
// and never hands out a reference to one: a level goes in with push and comes back out,
// as a copy, with pop. A walk keeps the container it is in as a local of its own and
// pushes it only when it descends into a child, so it has no reference that a push could
// leave dangling.
//
//   LevelStack<Level> outer;  // the containers around `current`
//   outer.push(current);      // descend: the parent waits on the stack
//   current = child;
//   ...
//   current = outer.pop();    // the child is done: back to the parent
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <vector>

namespace zu::json::detail {

template <class Level>
class LevelStack {
 public:
  LevelStack() noexcept = default;
  // The levels may live in the stack object itself, so it is never copied or moved.
  LevelStack(const LevelStack&) = delete;
  LevelStack& operator=(const LevelStack&) = delete;

  [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
  [[nodiscard]] std::size_t size() const noexcept { return size_; }

  // push puts a copy of `level` on top. Throws std::bad_alloc when a deep stack cannot
  // grow.
  void push(const Level& level) {
    if (size_ == capacity_) grow();
    levels_[size_++] = level;
  }

  // pop removes the top level and returns it. REQUIRES: !empty().
  [[nodiscard]] Level pop() noexcept {
    assert(size_ != 0);
    return levels_[--size_];
  }

 private:
  static constexpr std::size_t kInline = 32;

  // grow moves every level to a heap block twice the size.
  void grow() {
    std::vector<Level> larger(2 * capacity_);
    std::copy(levels_, levels_ + size_, larger.begin());
    heap_ = std::move(larger);
    levels_ = heap_.data();
    capacity_ = heap_.size();
  }

  Level inline_[kInline];
  std::vector<Level> heap_;   // the levels, once more than kInline were stacked
  Level* levels_ = inline_;   // (nonnull) inline_ or heap_'s storage
  std::size_t capacity_ = kInline;
  std::size_t size_ = 0;
};

}  // namespace zu::json::detail
