// Canonical hashing of JSON values into a digest stream.
//
// A value is fed as a tag word followed by its content, so that the digest depends on
// the JSON value alone, not on its text layout or the order of object members:
//
//   tag  value                 then fed
//   0    null                  -
//   1    true / false          u64(0 or 1)
//   2    string                bytes(text)
//   3    unsigned integer      u64(value)
//   4    negative integer      u64(value in two's complement)
//   5    any other number      u64(IEEE-754 bits of the double)
//   6    array                 u64(size), then each element in order
//   7    object                u64(size), then bytes(key) and the value of each member,
//                              in ascending bytewise key order
//
// The integer tags follow the JSON facade's classification: "1" is tag 3, "-1" and "-0"
// tag 4, "1.0", "1e2" and integers beyond 64 bits tag 5. Members with equal keys, which
// provider JSON may carry, keep their document order among themselves.
//
// Limits come from the writer's resources: a value nested deeper than `max_json_depth`
// (the root is at depth 0) or a container with more than `max_json_entries` children
// fails the writer. The walk keeps its own stack, so a deep document cannot exhaust the
// thread's stack whatever the limits.
//
// Thread safety: a JsonHasher belongs to one digest operation; the documents it reads
// may be shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "native/digest_writer.hpp"
#include "zu/json/document.hpp"
#include "zu/json/value.hpp"

namespace zu::digest {

class JsonHasher {
 public:
  // value feeds the canonical form of `root` into `writer`, or fails the writer when
  // `root` is invalid or breaks the limits. Feeding stops as soon as the writer fails.
  //
  // Throws std::bad_alloc when the walk's stack or the sorted member lists cannot grow;
  // a hasher reuses that memory from one call to the next.
  void value(Writer& writer, json::Value root);

  // document feeds an optional document: u64(present) and, when `document` is not null,
  // the canonical form of its root. A Document without a root fails the writer.
  void document(Writer& writer, const std::shared_ptr<const json::Document>& document);

 private:
  // Frame is one open container of the walk.
  struct Frame {
    bool object = false;
    std::uint64_t child_depth = 0;
    json::Elements::Iterator element;  // arrays: the next element, or the end
    std::size_t next = 0;              // objects: the next member in members_
    std::size_t end = 0;               // objects: one past its last member in members_
    std::size_t begin = 0;             // objects: its first member in members_
  };

  // next_child moves the top frame past its next child, feeding a member's key, and
  // returns that child and its depth; it pops the frames it finds finished, and returns
  // false when none is left. It never pushes, which is what keeps the reference to the
  // top frame that it works through valid: only visit() pushes, and it runs after
  // next_child has returned.
  bool next_child(Writer& writer, json::Value& child, std::uint64_t& depth);
  // visit feeds the tag and scalar content of `value`, and opens a frame for a
  // non-empty container.
  void visit(Writer& writer, json::Value value, std::uint64_t depth);
  void open_object(Writer& writer, json::Value object, std::uint64_t depth);

  std::vector<Frame> frames_;
  // The members of every open object, each object's run sorted by key.
  std::vector<json::Member> members_;
};

}  // namespace zu::digest
