// A stack of open containers for the iterative walks over a document. It lives on the
// machine stack for ordinary depths and spills to the heap only for deep documents, so
// no walk recurses and shallow ones never allocate.
#pragma once

#include <cstddef>
#include <vector>

namespace zu::json::detail {

template <class Level>
class LevelStack {
 public:
  [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
  [[nodiscard]] std::size_t size() const noexcept { return size_; }
  Level& top() noexcept {
    return size_ <= kInline ? inline_[size_ - 1] : spill_[size_ - kInline - 1];
  }
  void push(const Level& level) {
    if (size_ < kInline) {
      inline_[size_] = level;
    } else {
      spill_.push_back(level);
    }
    ++size_;
  }
  void pop() noexcept {
    if (size_ > kInline) spill_.pop_back();
    --size_;
  }

 private:
  static constexpr std::size_t kInline = 32;
  Level inline_[kInline];
  std::vector<Level> spill_;
  std::size_t size_ = 0;
};

}  // namespace zu::json::detail
