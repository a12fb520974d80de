// The one place in zu_json that reads the reader library's node layout directly.
//
// yyjson documents a parsed document only through functions, but its fastest walks rely
// on how it lays the nodes out, and so do ours: every node of a document sits in one
// array in document order, a container is followed at once by its first child, an
// object's key by its value, and a container records the byte span of its whole subtree
// in its payload. Every other source of the facade reaches nodes through yyjson's
// documented functions or through the helpers below, so a new yyjson version is checked
// against this file alone. Internal to zu_json: nothing here is installed.
//
// REQUIRES for every function: the nodes come from an immutable document that the reader
// parsed (never a mutable one), and are of the kind each function names.
#pragma once

#include <yyjson.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zu::json::detail {

// ===== The version this file was checked against =====
//
// These checks fail the build on any other yyjson version, or should the node record
// change shape. Before raising the version, read the new header's node and document
// records and the implementations of the unsafe_ functions used below, then adjust.
static_assert(YYJSON_VERSION_HEX == 0x000C00, "the node layout helpers were written for yyjson 0.12.0");
static_assert(sizeof(yyjson_val) == 16, "a node is a 64-bit tag and a 64-bit payload");
static_assert(offsetof(yyjson_val, tag) == 0 && offsetof(yyjson_val, uni) == 8,
              "a node is a 64-bit tag and a 64-bit payload");
static_assert(YYJSON_TAG_BIT == 8, "the length sits above the tag's low byte");

// ===== Reading one node, unchecked =====
//
// The documented functions test for null and for the type on every call; these do not.
// They are for loops that have already established both.

// node_length returns the byte length of a string node or the child count of a
// container node.
inline std::size_t node_length(yyjson_val* node) noexcept { return unsafe_yyjson_get_len(node); }

// node_text returns the bytes of a string node, as a view that lives as long as the
// document.
inline std::string_view node_text(yyjson_val* node) noexcept {
  return {unsafe_yyjson_get_str(node), unsafe_yyjson_get_len(node)};
}

// is_container returns true for an array or object node.
inline bool is_container(yyjson_val* node) noexcept { return unsafe_yyjson_is_ctn(node); }

// ===== Moving between nodes =====

// first_child returns the first element of an array, or the first member's key of an
// object. REQUIRES: the container has at least one child.
inline yyjson_val* first_child(yyjson_val* container) noexcept {
  return unsafe_yyjson_get_first(container);
}

// member_value returns the value of the member whose key node is `key`: the node right
// after it.
inline yyjson_val* member_value(yyjson_val* key) noexcept { return key + 1; }

// next_sibling returns the node after `node` and its whole subtree: the next element of
// its array, or the next key after a member's value. After the last child of a container
// the result lies past the container's subtree and must not be read.
inline yyjson_val* next_sibling(yyjson_val* node) noexcept { return unsafe_yyjson_get_next(node); }

// next_key returns the key of the member after the one whose key is `key`; after the
// last member, like next_sibling, a node that must not be read.
inline yyjson_val* next_key(yyjson_val* key) noexcept { return next_sibling(member_value(key)); }

// ===== Containers whose children are single nodes =====

// subtree_nodes returns how many nodes the container and everything under it occupy,
// read from the span the reader records in the container's payload.
inline std::uint64_t subtree_nodes(yyjson_val* container) noexcept {
  return container->uni.ofs / sizeof(yyjson_val);
}

// has_nested_members returns true when some member value or element of `container` has
// members or elements of its own. When it is false every child is one node (a scalar, a
// string or an empty container), so the children stand at fixed steps: see flat_child.
inline bool has_nested_members(yyjson_val* container) noexcept {
  const std::uint64_t per_child = unsafe_yyjson_is_obj(container) ? 2 : 1;
  return subtree_nodes(container) != per_child * node_length(container) + 1;
}

// flat_key returns the key of member `i` of an object without nested members.
// REQUIRES: !has_nested_members(object) and i < node_length(object).
inline yyjson_val* flat_key(yyjson_val* object, std::size_t i) noexcept {
  return first_child(object) + 2 * i;
}

// flat_child returns element `i` of an array, or the value of member `i` of an object,
// without nested members. REQUIRES: !has_nested_members(container) and
// i < node_length(container).
inline yyjson_val* flat_child(yyjson_val* container, std::size_t i) noexcept {
  return unsafe_yyjson_is_obj(container) ? member_value(flat_key(container, i)) : first_child(container) + i;
}

// ===== Numbers the library's writer does not render as read =====

// is_signed_zero returns true for the number the reader makes of "-0": a signed integer
// whose value is 0. The library's writer renders it "0", which reads back unsigned.
inline bool is_signed_zero(yyjson_val* node) noexcept {
  return unsafe_yyjson_get_tag(node) == (YYJSON_TYPE_NUM | YYJSON_SUBTYPE_SINT) &&
         node->uni.i64 == 0;
}

// holds_signed_zero returns true when `node` or anything under it is a signed zero. It
// reads every node of the subtree once, in the order they sit in memory.
inline bool holds_signed_zero(yyjson_val* node) noexcept {
  const std::uint64_t count = unsafe_yyjson_is_ctn(node) ? subtree_nodes(node) : 1;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (is_signed_zero(node + i)) return true;
  }
  return false;
}

// ===== The document record =====

// document_string_pool returns the block that holds a parsed document's strings, or null
// when it has none.
inline const void* document_string_pool(const yyjson_doc* doc) noexcept { return doc->str_pool; }

// document_value_block returns the block that holds a parsed document's nodes: the reader
// allocates the document record at its start, in the same allocation.
inline const void* document_value_block(const yyjson_doc* doc) noexcept { return doc; }

// document_allocator_of returns the allocator that a parsed document frees itself with.
inline const yyjson_alc& document_allocator_of(const yyjson_doc* doc) noexcept { return doc->alc; }

}  // namespace zu::json::detail
