// Conversions between the facade's opaque public types and the reader's own types.
// Internal to zu_json: nothing here is installed.
#pragma once

#include <yyjson.h>

#include <cstdint>

#include "zu/json/document.hpp"
#include "zu/json/value.hpp"

namespace zu::json::detail {

// Access is the one friend of the public view types; it is how the facade's sources make
// Values, iterators and Documents from raw nodes and read them back.
struct Access {
  static yyjson_val* node(Value v) noexcept {
    return reinterpret_cast<yyjson_val*>(const_cast<Node*>(v.node_));
  }
  static Value value(const yyjson_val* node) noexcept {
    return Value(reinterpret_cast<const Node*>(node));
  }

  static yyjson_val* node(const Elements::Iterator& it) noexcept {
    return reinterpret_cast<yyjson_val*>(const_cast<Node*>(it.node_));
  }
  static std::uint64_t remaining(const Elements::Iterator& it) noexcept { return it.remaining_; }
  static Elements::Iterator elements_iterator(const yyjson_val* node,
                                              std::uint64_t remaining) noexcept {
    return {reinterpret_cast<const Node*>(node), remaining};
  }

  static yyjson_val* node(const Members::Iterator& it) noexcept {
    return reinterpret_cast<yyjson_val*>(const_cast<Node*>(it.node_));
  }
  static std::uint64_t remaining(const Members::Iterator& it) noexcept { return it.remaining_; }
  static Members::Iterator members_iterator(const yyjson_val* key,
                                            std::uint64_t remaining) noexcept {
    return {reinterpret_cast<const Node*>(key), remaining};
  }

  static yyjson_doc* doc(const Document& d) noexcept {
    return reinterpret_cast<yyjson_doc*>(d.doc_);
  }
  static Document document(yyjson_doc* doc) noexcept {
    return Document(reinterpret_cast<Doc*>(doc));
  }
};

}  // namespace zu::json::detail
