#include "archive_fs/posix/listing.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/system.hpp"
#include "archive_fs/require.hpp"

namespace zu::archive_fs::posix {
namespace {

// The fixed part of a linux_dirent64 up to its name: inode, offset, record length and
// type.
constexpr std::size_t kNameAt = 8 + 8 + 2 + 1;

}  // namespace

Listing::Listing(const Handle& directory) : buffer_(new char[kBufferBytes]) {
  // Reading entries moves a descriptor's position, and the caller's handle must stay as
  // it was; hence a descriptor of our own.
  const Look own = accepted_look(directory.get());
  require(own.directory);
  mount_ = own.mount;
  own_ = Handle(retry([&] { return ::openat(directory.get(), ".", kDirectoryOpen); }));
  require(static_cast<bool>(own_));
  // The directory may have been removed meanwhile; such a listing is refused. Both
  // descriptors are open, so their identities tell the objects apart.
  const Look listed = look(own_.get());
  require(listed.directory && listed.identity == own.identity);
}

std::string_view Listing::next() {
  // getdents64 straight into one buffer: what readdir would do, without the stream's own
  // checks of the descriptor that the constructor has already made.
  if (offset_ == filled_) {
    const long got = retry([&] {
      return ::syscall(SYS_getdents64, own_.get(), buffer_.get(), kBufferBytes);
    });
    require(got >= 0);
    if (got == 0) return {};
    offset_ = 0;
    filled_ = static_cast<std::size_t>(got);
  }
  const char* record = buffer_.get() + offset_;
  require(filled_ - offset_ > kNameAt);
  std::uint16_t length = 0;
  std::memcpy(&length, record + 16, sizeof length);
  require(length > kNameAt && length <= filled_ - offset_);
  offset_ += length;
  // The name ends at its terminating NUL, which the kernel writes inside the record.
  const std::size_t room = length - kNameAt;
  const std::size_t size = ::strnlen(record + kNameAt, room);
  require(size > 0 && size < room);
  return {record + kNameAt, size};
}

}  // namespace zu::archive_fs::posix
