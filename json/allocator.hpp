// The document allocator: the heap hooks every parsed Document is built with.
//
// Each block carries an 8-byte header holding its own total size, which is what lets
// Document::retained_bytes measure a document without walking it.
#pragma once

#include <yyjson.h>

#include <cstdint>

namespace zu::json::detail {

// document_allocator returns the hooks to hand the reader (null context).
yyjson_alc document_allocator() noexcept;

// made_by_document_allocator returns true when `alc` frees through these hooks.
bool made_by_document_allocator(const yyjson_alc& alc) noexcept;

// recorded_size returns the total size (header included) recorded in front of `block`,
// which must have come from these hooks.
std::uint64_t recorded_size(const void* block) noexcept;

}  // namespace zu::json::detail
