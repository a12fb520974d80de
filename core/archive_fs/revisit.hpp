// Revisiting an admitted store directory and key file by their paths: the file-system
// half of the archive's re-verification before every use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive_fs/list_memory.hpp"
#include "zu/archive_fs/handle.hpp"
#include "zu/archive_fs/status.hpp"

namespace zu::archive_fs {

// Admitted is a store directory and key file as admitted: the handles held open since,
// and their statuses then; and, where the caller keeps one, the memory of which of the
// objects revisited were seen free of access lists, which revisit may use and fill.
struct Admitted {
  const Handle& store;
  const Status& store_status;
  const Handle& key_file;
  const Status& key_status;
  AdmittedListMemory* lists = nullptr;
};

// revisit resolves store_path and key_path afresh, as locate does, and throws Rejected
// unless they still lead to the admitted objects: the store directory the admitted one
// and private; the key file's directory private, and neither the store nor inside it;
// the key file the admitted one, private, sealed, with one link, and unchanged in status
// since admission. Then it reads the key file, whole and at most max_key_bytes, into
// `contents`, as read_all does, reusing its buffer.
//
// REQUIRES: contents is owned by a holder that wipes it (archive::Wiped): on a throw it
// may still hold key bytes, which that holder wipes.
void revisit(std::string_view store_path, std::string_view key_path, const Admitted& admitted,
             std::uint64_t max_key_bytes, std::string& contents);

// revisit_by_walking is revisit made of the public operations, one after the other:
// locate, open_directory, private_directory, open_file, private_file, read_all and
// independent_key_parent. It is what every shorter way must prove as well.
void revisit_by_walking(std::string_view store_path, std::string_view key_path,
                        const Admitted& admitted, std::uint64_t max_key_bytes,
                        std::string& contents);

}  // namespace zu::archive_fs
