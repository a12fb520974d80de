// The one check every step of the archive file system and the archive is made of.
#pragma once

namespace zu::archive_fs {

// require throws Rejected when condition is false.
void require(bool condition);

}  // namespace zu::archive_fs
