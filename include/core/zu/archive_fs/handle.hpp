// Rejected, the one failure of the archive file system, and Handle, the owner of one
// open file or directory.
//
// Thread safety: Handle is a plain owner with no synchronisation. Operations that only
// read through a const Handle may run on several threads at once unless their own
// comment says otherwise; moving, resetting or destroying a Handle belongs to its one
// owner.
#pragma once

#include "zu/export.hpp"

namespace zu::archive_fs {

// Rejected is thrown by every operation of zu::archive_fs for a failed check or a failed
// system call. It carries no reason on purpose: the archive reports every refusal the
// same way, so nothing about which check failed reaches a caller.
struct ZU_CORE_EXPORT Rejected {};

// NativeHandle is the platform's raw handle type: a kernel handle on Windows, a file
// descriptor elsewhere. empty_native_handle is the value that owns nothing.
#if defined(_WIN32)
using NativeHandle = void*;
inline constexpr NativeHandle empty_native_handle = nullptr;
#else
using NativeHandle = int;
inline constexpr NativeHandle empty_native_handle = -1;
#endif

// Handle owns one open file or directory and closes it when destroyed. A default-made
// Handle is empty. Handle is move-only: a move leaves the source empty, and move
// assignment first closes what the target held.
class ZU_CORE_EXPORT Handle {
 public:
  Handle() noexcept = default;

  // Handle takes ownership of raw, which must be open or empty_native_handle.
  explicit Handle(NativeHandle raw) noexcept : raw_(raw) {}

  Handle(Handle&& other) noexcept : raw_(other.raw_) { other.raw_ = empty_native_handle; }
  Handle& operator=(Handle&& other) noexcept;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle();

  // get returns the raw handle without giving up ownership.
  //
  // WARNING: the value stays owned by this Handle; closing it, or keeping it past the
  // Handle's life, breaks every identity check built on it.
  [[nodiscard]] NativeHandle get() const noexcept { return raw_; }

  // operator bool returns whether the Handle owns an open file or directory.
  explicit operator bool() const noexcept { return raw_ != empty_native_handle; }

 private:
  NativeHandle raw_ = empty_native_handle;
};

}  // namespace zu::archive_fs
