// The host JSON value type, `vantrel::json`.
//
// A `vantrel::json` is a JSON value with value semantics: copies compare equal and never
// affect one another. Underneath, a value shares a yyjson mutable document with its
// copies and points at one node in it; the first mutation of a shared value copies the
// value into a document of its own (copy on write), so copying and reading are cheap.
//
//   vantrel::json tool = vantrel::json::parse(R"({"name":"search","inputSchema":{}})");
//   std::string name = tool.value("name", "");        // "search"
//   bool has_schema = tool["inputSchema"].is_object();  // const read: true
//   vantrel::json out = vantrel::json::object();
//   out["name"] = vantrel::json(name);                  // writes the member
//   for (const auto& [key, member] : tool.items()) { /* stored member order */ }
//
// Most members live in the host library vantrel_core. Those marked
// VANTREL_MCP_TYPES_EXPORT (`value`, `operator!=`, `is_bool`, the `int` index forms,
// `raw_doc`, `raw_val`, `items`, and the iterator's copy, move and equality) are compiled
// into vantrel_mcp_types: a program that uses them links that library too.
//
// Thread safety: a json is a value. Different json objects may be used from different
// threads at once, even when they are copies of one another (their shared document is
// only read until one of them is mutated, which copies it first). One json object needs
// exclusive access while it is mutated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "vantrel/core_export.hpp"
#include "vantrel/mcp_types_export.hpp"

// The yyjson node types behind a value stay incomplete here, so this header needs no
// yyjson header; only code that calls yyjson on raw_doc() or raw_val() includes it.
struct yyjson_mut_doc;
struct yyjson_mut_val;

namespace vantrel {

class json {
 public:
  class iterator;
  class items_proxy;

  // max_parse_depth is the deepest nesting `parse` accepts. Copying and comparing walk
  // values recursively, so deeper text is refused instead of risking the stack.
  static constexpr std::size_t max_parse_depth = 512;

  // ===== Construction =====

  // json() is null. It holds no document, so it costs no allocation.
  json() noexcept = default;
  // json(b) is the boolean b.
  VANTREL_CORE_EXPORT json(bool b);
  // json(s) is the string s.
  VANTREL_CORE_EXPORT json(const std::string& s);
  // json(s) is the string s; it exists so that a string literal does not become a
  // boolean. REQUIRES: s is not null.
  VANTREL_CORE_EXPORT json(const char* s);

  // object returns an empty object.
  [[nodiscard]] VANTREL_CORE_EXPORT static json object();
  // array returns an empty array.
  [[nodiscard]] VANTREL_CORE_EXPORT static json array();

  // parse returns the value of the JSON text `text` (strict RFC 8259: no comments, no
  // trailing commas). It throws std::invalid_argument when the text is not JSON, nests
  // deeper than max_parse_depth, or repeats a member name within one object: member
  // names of a json object are unique.
  [[nodiscard]] VANTREL_CORE_EXPORT static json parse(std::string_view text);
  // dump returns compact JSON text of the value.
  [[nodiscard]] VANTREL_CORE_EXPORT std::string dump() const;

  json(const json& other) noexcept : doc_(other.doc_), val_(other.val_) {}
  json(json&& other) noexcept
      : doc_(std::move(other.doc_)), val_(std::exchange(other.val_, nullptr)) {}
  ~json() = default;

  // operator= on an lvalue replaces the value held.
  json& operator=(const json& other) & noexcept {
    doc_ = other.doc_;
    val_ = other.val_;
    member_handle_ = false;
    return *this;
  }
  json& operator=(json&& other) & noexcept {
    doc_ = std::move(other.doc_);
    val_ = std::exchange(other.val_, nullptr);
    member_handle_ = false;
    return *this;
  }
  // operator= on the handle that non-const operator[] or at() returns writes `other`
  // into the member or element of the containing value: `obj["key"] = value;`. On any
  // other rvalue it replaces the value held, like the lvalue form.
  // WARNING: a handle writes into its container's document directly. Assign it within
  // the expression that made it; a handle kept in a variable while the container is
  // copied writes into the copies too.
  VANTREL_CORE_EXPORT void operator=(const json& other) &&;
  VANTREL_CORE_EXPORT void operator=(json&& other) &&;

  // ===== Type tests =====

  [[nodiscard]] VANTREL_CORE_EXPORT bool is_null() const noexcept;
  [[nodiscard]] VANTREL_CORE_EXPORT bool is_boolean() const noexcept;
  // is_bool is is_boolean.
  [[nodiscard]] VANTREL_MCP_TYPES_EXPORT bool is_bool() const noexcept;
  // is_number returns true for any number, integers included.
  [[nodiscard]] VANTREL_CORE_EXPORT bool is_number() const noexcept;
  // is_number_integer returns true for a number written without fraction or exponent
  // (1 is an integer, 1.0 is not).
  [[nodiscard]] VANTREL_CORE_EXPORT bool is_number_integer() const noexcept;
  [[nodiscard]] VANTREL_CORE_EXPORT bool is_string() const noexcept;
  [[nodiscard]] VANTREL_CORE_EXPORT bool is_array() const noexcept;
  [[nodiscard]] VANTREL_CORE_EXPORT bool is_object() const noexcept;

  // ===== Reading =====

  // contains returns true when this is an object with a member named `key`.
  // WARNING: member lookup takes linear time in the number of members.
  [[nodiscard]] VANTREL_CORE_EXPORT bool contains(const char* key) const;
  [[nodiscard]] VANTREL_CORE_EXPORT bool contains(const std::string& key) const;
  // size returns the element count of an array or the member count of an object, and 0
  // for anything else.
  [[nodiscard]] VANTREL_CORE_EXPORT std::size_t size() const noexcept;
  // empty returns true for an array or object without entries, and for null.
  [[nodiscard]] VANTREL_CORE_EXPORT bool empty() const noexcept;

  // operator== returns true when the two values are deeply equal: same type, equal
  // strings, equal elements in order, and the same member names with equal values in any
  // order. Numbers are equal when they have the same value, whichever form each is
  // stored in: 1 == 1.0, 0 == -0.0, and -9223372036854775808 equals the real -2^63. The
  // comparison is exact, so 9007199254740993 differs from the real 9007199254740992.0
  // it would round to, and 18446744073709551615 from every real. is_number_integer still
  // tells the forms apart.
  [[nodiscard]] VANTREL_CORE_EXPORT bool operator==(const json& other) const noexcept;
  // operator!= negates operator==.
  [[nodiscard]] VANTREL_MCP_TYPES_EXPORT bool operator!=(const json& other) const noexcept;

  // Const operator[] returns the member `key` of an object or element `index` of an
  // array; a missing member, an index past the end, or a value of another type reads as
  // null. Nothing throws but std::bad_alloc.
  [[nodiscard]] VANTREL_CORE_EXPORT json operator[](const char* key) const&;
  [[nodiscard]] VANTREL_CORE_EXPORT json operator[](const std::string& key) const&;
  [[nodiscard]] VANTREL_CORE_EXPORT json operator[](std::size_t index) const&;
  // The int form calls the size_t form with the index sign-extended, so -1 reads past
  // the end. It exists so that `j[0]` is not read as a null pointer key.
  [[nodiscard]] VANTREL_MCP_TYPES_EXPORT json operator[](int index) const&;
  // at returns element `index` of an array, or throws std::out_of_range when this is not
  // an array or the index is past the end.
  [[nodiscard]] VANTREL_CORE_EXPORT json at(std::size_t index) const&;
  [[nodiscard]] VANTREL_MCP_TYPES_EXPORT json at(int index) const&;

  // ===== Writing =====

  // Non-const operator[] with a key returns a handle to the member `key` of this object,
  // appending it as null when missing; null becomes an empty object first. Assigning to
  // the handle writes the member. It throws std::invalid_argument when this value is
  // neither an object nor null.
  // WARNING: on a non-const json even a read through operator[] creates the member.
  // Prefer a const reference, `contains` or `value` for reading.
  VANTREL_CORE_EXPORT json operator[](const char* key) &;
  VANTREL_CORE_EXPORT json operator[](const std::string& key) &;
  // Non-const operator[] and at() with an index return a handle to element `index` of
  // this array. They throw std::out_of_range when this is not an array or the index is
  // past the end: arrays do not grow through them.
  VANTREL_CORE_EXPORT json operator[](std::size_t index) &;
  VANTREL_MCP_TYPES_EXPORT json operator[](int index) &;
  VANTREL_CORE_EXPORT json at(std::size_t index) &;
  VANTREL_MCP_TYPES_EXPORT json at(int index) &;

  // On a temporary, operator[] and at() read like the const forms, so that
  // `value["a"]["b"]` reads a member of a member, except on a handle, where they hand
  // out a handle of their own, so that `obj["a"]["b"] = v;` writes through.
  json operator[](const char* key) && { return member_handle_ ? (*this)[key] : std::as_const(*this)[key]; }
  json operator[](const std::string& key) && {
    return member_handle_ ? (*this)[key] : std::as_const(*this)[key];
  }
  json operator[](std::size_t index) && {
    return member_handle_ ? (*this)[index] : std::as_const(*this)[index];
  }
  json operator[](int index) && { return member_handle_ ? (*this)[index] : std::as_const(*this)[index]; }
  json at(std::size_t index) && { return member_handle_ ? (*this).at(index) : std::as_const(*this).at(index); }
  json at(int index) && {
    return member_handle_ ? (*this).at(index) : std::as_const(*this).at(index);
  }

  // ===== Conversion =====

  // get<T>() converts the value to T, for T = std::string, bool or json. A string or
  // boolean conversion of a value of another type throws std::invalid_argument.
  template <class T>
  [[nodiscard]] T get() const {
    if constexpr (std::is_same_v<T, std::string>) {
      return get_string();
    } else if constexpr (std::is_same_v<T, bool>) {
      return get_bool();
    } else {
      static_assert(std::is_same_v<T, json>, "vantrel::json::get supports std::string, bool and json");
      return *this;
    }
  }

  // value(key, default_value) returns member `key` of this object converted to T (T =
  // std::string, bool or json). It returns `default_value` when this is not an object,
  // when the member is missing or null, or when the conversion fails. Memory exhaustion
  // is never turned into the default: std::bad_alloc propagates.
  template <class T>
  [[nodiscard]] T value(const std::string& key, const T& default_value) const {
    if constexpr (std::is_same_v<T, std::string>) {
      return value_string(key, default_value);
    } else if constexpr (std::is_same_v<T, bool>) {
      return value_bool(key, default_value);
    } else {
      static_assert(std::is_same_v<T, json>, "vantrel::json::value supports std::string, bool and json");
      return value_json(key, default_value);
    }
  }
  // This form converts the default to std::string first. REQUIRES: default_value is not
  // null.
  [[nodiscard]] VANTREL_MCP_TYPES_EXPORT std::string value(const std::string& key,
                                                           const char* default_value) const;

  // ===== Iteration =====

  // begin and end iterate the elements of an array, or the members of an object in
  // stored order; any other value is an empty range.
  // WARNING: begin() lists the container's entries up front, so it costs time and memory
  // linear in their number, and so does copying an iterator.
  [[nodiscard]] VANTREL_CORE_EXPORT iterator begin() const;
  [[nodiscard]] VANTREL_CORE_EXPORT iterator end() const;
  // items returns a range over (key, value) pairs of a copy of this value; for an array
  // the keys are the indexes in decimal.
  [[nodiscard]] VANTREL_MCP_TYPES_EXPORT items_proxy items() const;

  // ===== The document underneath =====

  // raw_doc returns the yyjson mutable document that holds this value, and raw_val the
  // node of this value in it. Both are null for a default-constructed or moved-from
  // json, which is null without any document.
  // WARNING: the document may be shared with copies of this value. Read it only; a
  // change made through yyjson bypasses copy on write and shows in every copy.
  [[nodiscard]] VANTREL_MCP_TYPES_EXPORT yyjson_mut_doc* raw_doc() const noexcept;
  [[nodiscard]] VANTREL_MCP_TYPES_EXPORT yyjson_mut_val* raw_val() const noexcept;

 private:
  json(std::shared_ptr<yyjson_mut_doc> doc, yyjson_mut_val* val, bool member_handle = false) noexcept
      : doc_(std::move(doc)), val_(val), member_handle_(member_handle) {}

  VANTREL_CORE_EXPORT std::string get_string() const;
  VANTREL_CORE_EXPORT bool get_bool() const;
  VANTREL_MCP_TYPES_EXPORT std::string value_string(const std::string& key,
                                                    const std::string& default_value) const;
  VANTREL_MCP_TYPES_EXPORT bool value_bool(const std::string& key, bool default_value) const;
  VANTREL_MCP_TYPES_EXPORT json value_json(const std::string& key, const json& default_value) const;

  json member(const char* key, std::size_t length) const;
  json member_handle(const char* key, std::size_t length);
  json element_handle(std::size_t index);
  void make_writable();
  void assign_in_place(const json& other);

  // doc_ keeps the document alive (null for the document-less null).
  std::shared_ptr<yyjson_mut_doc> doc_;
  // val_ is this value's node in doc_ (null exactly when doc_ is).
  yyjson_mut_val* val_ = nullptr;
  // member_handle_ is set on the handles that non-const operator[] and at() return; it
  // makes assignment to the rvalue write through, and is never copied.
  bool member_handle_ = false;
};

// json::iterator walks the entries of one array or object. It is an input iterator: *it
// returns the entry by value.
//
// Thread safety: like a json value; an iterator keeps the document it walks alive and
// sees it as it was when begin() was called, whatever later happens to the container.
class json::iterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = json;
  using difference_type = std::ptrdiff_t;
  using pointer = void;
  using reference = json;

  // iterator() walks nothing; it equals every other such iterator.
  iterator() noexcept = default;
  // Copies share the document and copy the entry lists; a move leaves the source walking
  // nothing.
  VANTREL_MCP_TYPES_EXPORT iterator(const iterator& other);
  VANTREL_MCP_TYPES_EXPORT iterator(iterator&& other) noexcept;
  VANTREL_MCP_TYPES_EXPORT iterator& operator=(const iterator& other);
  VANTREL_MCP_TYPES_EXPORT iterator& operator=(iterator&& other) noexcept;
  ~iterator() = default;

  // operator* returns the current element, or the current member's value; null past the
  // end.
  [[nodiscard]] VANTREL_CORE_EXPORT json operator*() const;
  // operator++ advances to the next entry.
  VANTREL_CORE_EXPORT iterator& operator++();
  // key returns the current member's name; for an array, the index in decimal; past the
  // end or for an iterator that walks nothing, an empty string.
  [[nodiscard]] VANTREL_CORE_EXPORT std::string key() const;
  // value is operator*.
  [[nodiscard]] VANTREL_CORE_EXPORT json value() const;

  // operator== returns true when both iterators walk nothing at the same position, or
  // when both walk the same container at the same position.
  [[nodiscard]] VANTREL_MCP_TYPES_EXPORT bool operator==(const iterator& other) const noexcept;

 private:
  friend class json;

  iterator(std::shared_ptr<yyjson_mut_doc> doc, std::size_t position,
           std::vector<yyjson_mut_val*> keys, std::vector<yyjson_mut_val*> values,
           std::uintptr_t cursor, bool object) noexcept
      : doc_(std::move(doc)),
        position_(position),
        keys_(std::move(keys)),
        values_(std::move(values)),
        cursor_(cursor),
        object_(object),
        detached_(false) {}

  // doc_ keeps the walked nodes alive (null when walking nothing).
  std::shared_ptr<yyjson_mut_doc> doc_;
  // position_ is the index of the current entry.
  std::size_t position_ = 0;
  // keys_ and values_ list the entries' name nodes (objects only) and value nodes, taken
  // when the walk began; an end iterator lists nothing.
  std::vector<yyjson_mut_val*> keys_;
  std::vector<yyjson_mut_val*> values_;
  // cursor_ identifies the container walked.
  std::uintptr_t cursor_ = 0;
  // object_ is set when walking an object.
  bool object_ = false;
  // detached_ is set when walking nothing.
  bool detached_ = true;
};

// json::items_proxy is the range that json::items() returns: it holds a copy of the value
// and yields (key, value) pairs.
class json::items_proxy {
 public:
  class iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = std::pair<std::string, json>;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = value_type;

    iterator() noexcept = default;
    // operator* returns the pair of the wrapped iterator's key() and value().
    [[nodiscard]] VANTREL_MCP_TYPES_EXPORT value_type operator*() const;
    VANTREL_MCP_TYPES_EXPORT iterator& operator++();
    [[nodiscard]] VANTREL_MCP_TYPES_EXPORT bool operator==(const iterator& other) const noexcept;

   private:
    friend class items_proxy;
    explicit iterator(json::iterator it) noexcept : it_(std::move(it)) {}
    json::iterator it_;
  };

  [[nodiscard]] VANTREL_MCP_TYPES_EXPORT iterator begin() const;
  [[nodiscard]] VANTREL_MCP_TYPES_EXPORT iterator end() const;

 private:
  friend class json;
  explicit items_proxy(json value) noexcept : value_(std::move(value)) {}
  json value_;
};

}  // namespace vantrel
