// Read-only views of parsed JSON.
//
// A `Value` is a one-word, non-owning view of a node inside a `zu::json::Document`.
// Accessors never throw and never fail: on a wrong type, or on the invalid Value, they
// return a neutral result (false, 0, 0.0, an empty view, the invalid Value, an empty
// range). `Elements` and `Members` iterate arrays and objects in document order.
//
//   auto parsed = zu::json::parse(R"({"tools":[{"name":"search"}]})", {4096, 16});
//   const auto& doc = std::get<zu::json::Document>(parsed);
//   for (zu::json::Value tool : doc.root().get("tools").elements())
//     std::cout << tool.get("name").as_string() << '\n';
//
// Thread safety: a Document never changes after parsing, so Values, Members and
// iterators of one Document may be read from any number of threads at once. They stay
// valid only while the Document (or the ParseError holding it) lives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "zu/json/export.hpp"

namespace zu::json {

class Elements;
class Members;
struct Member;

namespace detail {
// An opaque node of the parsed document. It is never defined: the facade converts it to
// the reader's own node type internally, so no reader type appears in these headers.
struct Node;
struct Access;
}  // namespace detail

// Value is a non-owning view of one JSON value, or the invalid Value (which views
// nothing). It is trivially copyable; pass it by value.
class ZU_JSON_EXPORT Value {
 public:
  // Value() is the invalid Value.
  constexpr Value() noexcept = default;

  // valid returns true when the view points at a node.
  [[nodiscard]] bool valid() const noexcept { return node_ != nullptr; }

  [[nodiscard]] bool is_null() const noexcept;
  [[nodiscard]] bool is_bool() const noexcept;
  // is_number returns true for any number: unsigned integer, signed integer or real.
  [[nodiscard]] bool is_number() const noexcept;
  // is_int returns true for an integer, whether stored unsigned or signed.
  [[nodiscard]] bool is_int() const noexcept;
  // is_uint returns true for an integer stored unsigned. The reader stores every
  // non-negative integer literal that fits in 64 bits unsigned, and negative ones signed.
  [[nodiscard]] bool is_uint() const noexcept;
  [[nodiscard]] bool is_string() const noexcept;
  [[nodiscard]] bool is_array() const noexcept;
  [[nodiscard]] bool is_object() const noexcept;

  // as_bool returns true only for the literal `true`.
  [[nodiscard]] bool as_bool() const noexcept;
  // as_int returns an integer's 64 stored bits as a signed number, so an unsigned value
  // above 2^63 - 1 comes out negative. Reals and non-numbers give 0.
  [[nodiscard]] std::int64_t as_int() const noexcept;
  // as_uint returns an integer's 64 stored bits as an unsigned number, so -1 comes out as
  // 2^64 - 1. Reals and non-numbers give 0.
  [[nodiscard]] std::uint64_t as_uint() const noexcept;
  // as_double returns a real as is and an integer converted to double; otherwise 0.0.
  [[nodiscard]] double as_double() const noexcept;
  // as_string returns a string's bytes, which live in the document. For anything else it
  // returns an empty view whose data() is null.
  [[nodiscard]] std::string_view as_string() const noexcept;

  // size returns the element count of an array or the member count of an object;
  // otherwise 0.
  [[nodiscard]] std::uint64_t size() const noexcept;
  // at returns the i-th element of an array, or the invalid Value when this is not an
  // array or i >= size().
  //
  // WARNING: when elements have children, at() skips the earlier elements one subtree at
  // a time, which is linear in their size. Iterate with elements() to visit every one.
  [[nodiscard]] Value at(std::uint64_t i) const noexcept;
  // get returns the value of the first member whose name equals key byte for byte, or
  // the invalid Value when this is not an object, key.data() is null, or nothing matches.
  // A non-null empty key matches a member named "".
  //
  // WARNING: get() searches the members linearly.
  [[nodiscard]] Value get(std::string_view key) const noexcept;

  // elements returns the range of an array's elements; for anything else it is empty.
  [[nodiscard]] Elements elements() const noexcept;
  // members returns the range of an object's members; for anything else it is empty.
  [[nodiscard]] Members members() const noexcept;

  // dump returns the compact JSON text of the value, or the empty string for the invalid
  // Value or when rendering fails. Parsed again, the text gives the same value with every
  // number of the same kind: the signed zero read from "-0" is written "-0", not "0".
  // Throws std::bad_alloc when memory runs out.
  [[nodiscard]] std::string dump() const;

 private:
  friend struct detail::Access;
  explicit constexpr Value(const detail::Node* node) noexcept : node_(node) {}

  const detail::Node* node_ = nullptr;  // (nullable) the viewed node
};

// Member is one object member: its name and its value.
struct Member {
  std::string_view key{};
  Value value{};
};

// Elements is the range of an array's elements, made by Value::elements().
class ZU_JSON_EXPORT Elements {
 public:
  // Iterator is {node, remaining}; the end iterator, and a default-constructed one, is
  // {null, 0}. Two iterators are equal when both fields are.
  class ZU_JSON_EXPORT Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Value;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = Value;

    constexpr Iterator() noexcept = default;
    [[nodiscard]] Value operator*() const noexcept;
    Iterator& operator++() noexcept;
    Iterator operator++(int) noexcept;
    friend bool operator==(const Iterator&, const Iterator&) noexcept = default;

   private:
    friend struct detail::Access;
    constexpr Iterator(const detail::Node* node, std::uint64_t remaining) noexcept
        : node_(node), remaining_(remaining) {}

    const detail::Node* node_ = nullptr;  // (nullable) the current element
    std::uint64_t remaining_ = 0;         // elements left, this one included
  };

  [[nodiscard]] Iterator begin() const noexcept;
  [[nodiscard]] Iterator end() const noexcept { return {}; }

 private:
  friend class Value;
  explicit constexpr Elements(Value array) noexcept : array_(array) {}
  Value array_;
};

// Members is the range of an object's members, made by Value::members().
class ZU_JSON_EXPORT Members {
 public:
  // Iterator is {key node, remaining}, like Elements::Iterator.
  class ZU_JSON_EXPORT Iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = Member;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = Member;

    constexpr Iterator() noexcept = default;
    [[nodiscard]] Member operator*() const noexcept;
    Iterator& operator++() noexcept;
    friend bool operator==(const Iterator&, const Iterator&) noexcept = default;

   private:
    friend struct detail::Access;
    constexpr Iterator(const detail::Node* key, std::uint64_t remaining) noexcept
        : node_(key), remaining_(remaining) {}

    const detail::Node* node_ = nullptr;  // (nullable) the current member's key node
    std::uint64_t remaining_ = 0;         // members left, this one included
  };

  [[nodiscard]] Iterator begin() const noexcept;
  [[nodiscard]] Iterator end() const noexcept { return {}; }

 private:
  friend class Value;
  explicit constexpr Members(Value object) noexcept : object_(object) {}
  Value object_;
};

}  // namespace zu::json
