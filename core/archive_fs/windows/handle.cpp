#include "archive_fs/windows/system.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs {

Handle& Handle::operator=(Handle&& other) noexcept {
  if (this != &other) {
    if (raw_ != empty_native_handle) ::CloseHandle(raw_);
    raw_ = other.raw_;
    other.raw_ = empty_native_handle;
  }
  return *this;
}

Handle::~Handle() {
  if (raw_ != empty_native_handle) ::CloseHandle(raw_);
}

}  // namespace zu::archive_fs
