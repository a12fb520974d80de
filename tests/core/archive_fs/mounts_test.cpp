// Reading a file system's type out of the kernel's mount table.
#include <gtest/gtest.h>

#include <string_view>

#include "archive_fs/posix/mounts.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::posix {
namespace {

// Optional fields vary in number, and escaped spaces keep a " - " inside a mount point
// from looking like the separator.
constexpr std::string_view kTable =
    "21 27 0:20 / /proc rw,relatime - proc proc rw\n"
    "27 1 254:0 / / rw,relatime shared:1 master:7 - ext4 /dev/vda rw\n"
    "40 27 0:45 / /mnt/a\\040-\\040b rw - fuse.sshfs host:/ rw,user_id=0\n"
    "41 27 0:46 / /data rw,nosuid propagate_from:2 shared:9 unbindable - tmpfs tmpfs rw";

TEST(MountType, FindsTheTypeAfterAnyNumberOfOptionalFields) {
  EXPECT_EQ(mount_type(kTable, 21), "proc");
  EXPECT_EQ(mount_type(kTable, 27), "ext4");
  EXPECT_EQ(mount_type(kTable, 40), "fuse.sshfs");
  EXPECT_EQ(mount_type(kTable, 41), "tmpfs");
  EXPECT_EQ(mount_type(kTable, 2), "");
  EXPECT_EQ(mount_type(kTable, 4), "");
}

TEST(MountType, RefusesALineWithoutTheSeparatorOrTheType) {
  EXPECT_THROW((void)mount_type("5 1 0:1 / / rw ext4 /dev/vda rw", 5), Rejected);
  EXPECT_THROW((void)mount_type("5 1 0:1 / / rw -", 5), Rejected);
  EXPECT_THROW((void)mount_type("5 1 0:1 /", 5), Rejected);
}

}  // namespace
}  // namespace zu::archive_fs::posix
