#include <unistd.h>

#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs {

// close is not retried on EINTR: Linux releases the descriptor even then, and a retry
// could close a descriptor another thread has just been given.
Handle& Handle::operator=(Handle&& other) noexcept {
  if (this != &other) {
    if (raw_ != empty_native_handle) ::close(raw_);
    raw_ = other.raw_;
    other.raw_ = empty_native_handle;
  }
  return *this;
}

Handle::~Handle() {
  if (raw_ != empty_native_handle) ::close(raw_);
}

}  // namespace zu::archive_fs
