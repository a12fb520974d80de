// JSON text in and out.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "document.hpp"
#include "vantrel/json.hpp"

namespace vantrel {
namespace {

// nesting_depth returns the deepest bracket nesting of `text`, which the reader has
// already accepted as JSON, so the only brackets to skip are those inside strings.
std::size_t nesting_depth(std::string_view text) {
  std::size_t depth = 0;
  std::size_t deepest = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > deepest) deepest = depth;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

// duplicate_member returns a name that some object of `doc` holds twice, or nothing.
// Objects of this type have unique member names, as a map would: lookups, equality and
// writing all rely on it, so text that repeats a name is refused rather than half kept.
// The walk keeps its own stack of containers, so nesting costs heap, not thread stack.
std::optional<std::string_view> duplicate_member(yyjson_doc* doc) {
  std::vector<yyjson_val*> pending;
  if (yyjson_val* root = yyjson_doc_get_root(doc); yyjson_is_ctn(root)) pending.push_back(root);
  std::vector<std::string_view> names;
  while (!pending.empty()) {
    yyjson_val* container = pending.back();
    pending.pop_back();
    if (yyjson_is_arr(container)) {
      yyjson_arr_iter it = yyjson_arr_iter_with(container);
      while (yyjson_val* element = yyjson_arr_iter_next(&it)) {
        if (yyjson_is_ctn(element)) pending.push_back(element);
      }
      continue;
    }
    names.clear();
    yyjson_obj_iter it = yyjson_obj_iter_with(container);
    while (yyjson_val* key = yyjson_obj_iter_next(&it)) {
      names.emplace_back(yyjson_get_str(key), yyjson_get_len(key));
      yyjson_val* value = yyjson_obj_iter_get_val(key);
      if (yyjson_is_ctn(value)) pending.push_back(value);
    }
    std::sort(names.begin(), names.end());
    const auto repeated = std::adjacent_find(names.begin(), names.end());
    if (repeated != names.end()) return *repeated;
  }
  return std::nullopt;
}

struct DocFree {
  void operator()(yyjson_doc* doc) const noexcept { yyjson_doc_free(doc); }
};

struct TextFree {
  void operator()(char* text) const noexcept { std::free(text); }
};

}  // namespace

json json::parse(std::string_view text) {
  yyjson_read_err err{};
  // Without the in-situ flag the reader does not write to its input.
  std::unique_ptr<yyjson_doc, DocFree> read(
      yyjson_read_opts(const_cast<char*>(text.data()), text.size(), YYJSON_READ_NOFLAG, nullptr, &err));
  if (read == nullptr) {
    if (err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION) throw std::bad_alloc();
    throw std::invalid_argument("vantrel::json::parse: " + std::string(err.msg) + " at byte " +
                                std::to_string(err.pos));
  }
  if (nesting_depth(text) > max_parse_depth) {
    throw std::invalid_argument("vantrel::json::parse: nesting deeper than " +
                                std::to_string(max_parse_depth) + " levels");
  }
  if (const auto name = duplicate_member(read.get())) {
    throw std::invalid_argument("vantrel::json::parse: duplicate member \"" + std::string(*name) + "\"");
  }
  yyjson_mut_doc* copy = yyjson_doc_mut_copy(read.get(), nullptr);
  if (copy == nullptr) throw std::bad_alloc();
  std::shared_ptr<yyjson_mut_doc> doc(copy, yyjson_mut_doc_free);
  yyjson_mut_val* root = yyjson_mut_doc_get_root(doc.get());
  return json(std::move(doc), root);
}

std::string json::dump() const {
  if (val_ == nullptr) return "null";
  yyjson_write_err err{};
  std::size_t length = 0;
  std::unique_ptr<char, TextFree> text(
      yyjson_mut_val_write_opts(val_, YYJSON_WRITE_NOFLAG, nullptr, &length, &err));
  if (text == nullptr) {
    if (err.code == YYJSON_WRITE_ERROR_MEMORY_ALLOCATION) throw std::bad_alloc();
    // A string built from bytes that are not UTF-8 cannot be written as JSON text.
    throw std::invalid_argument("vantrel::json::dump: " + std::string(err.msg));
  }
  return std::string(text.get(), length);
}

}  // namespace vantrel
