// zu::archive_fs: hardened file operations for the native archive's store.
//
// The archive keeps its records in a private directory and its custody key in a private
// file, on a local disk that other users of the machine may try to tamper with. This
// namespace is the only code that touches those files, and it is written for that
// setting:
//
//  - a path is resolved once, by locate(), into open directory handles; every later open
//    is made relative to such a handle, so no path text is ever resolved again;
//  - a symbolic link (or any other redirection) is refused at every step, and only local
//    disk file systems with real ownership are accepted;
//  - a directory or file is trusted only when it belongs to the current user and nobody
//    else has any access to it; the archive creates its objects in that shape and checks
//    the exact shape on every later open;
//  - a file's identity and timestamps are compared around every read, records are
//    published by an atomic rename that never replaces, and writers of different
//    processes are serialised by a lock on the key file.
//
// Every operation either succeeds or throws Rejected. No reason is given: callers treat
// any Rejected as the refusal of the whole store operation. Allocation failures propagate
// as std::bad_alloc.
//
//   namespace fs = zu::archive_fs;
//   fs::Location where = fs::locate("/home/alice/.app/store");
//   fs::Handle store = fs::open_directory(where.parent, where.name);
//   fs::private_directory(store);
//   fs::Handle record = fs::open_file(store, "record", /*missing_ok=*/false);
//   fs::private_file(record, /*read_only=*/true);
//   std::string bytes = fs::read_all(record, 1 << 20);
//
// The interface is the same on every platform; the backend is chosen when the library is
// built. On POSIX systems handles are file descriptors; on Windows they are kernel
// handles.
//
// This umbrella header includes the namespace's whole public interface.
#pragma once

#include "zu/archive_fs/files.hpp"
#include "zu/archive_fs/handle.hpp"
#include "zu/archive_fs/private.hpp"
#include "zu/archive_fs/publication.hpp"
#include "zu/archive_fs/status.hpp"
#include "zu/archive_fs/store_lock.hpp"
