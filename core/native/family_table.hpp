// The wire families and the domain labels of their digests.
//
// Each family has its own labels, so that no digest made for one family can ever equal
// one made for another, whatever the bytes behind it:
//   origin   starts the descriptor digest
//   content  starts a message's content digest
//   prefix   starts each prefix step
//   output   introduces a message's native document inside its content digest
//
// WARNING: names and labels are a persisted format; they never change.
//
// Thread safety: constant data and pure functions.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "native/content_digest.hpp"
#include "zu/native_context.hpp"

namespace zu::native {

using Family = NativeContext::Family;

// FamilyRow is one family's name and labels.
struct FamilyRow {
  std::string_view name;
  std::string_view origin;
  std::string_view content;
  std::string_view prefix;
  std::string_view output;

  // content_labels returns the two labels of the family's content digests.
  [[nodiscard]] constexpr digest::ContentLabels content_labels() const noexcept {
    return {content, output};
  }
};

// kFamilies holds the rows in the order of the Family values.
inline constexpr std::array<FamilyRow, 5> kFamilies{{
    {"anthropic.messages", "zu.messages.origin.v1", "zu.messages.content.v1",
     "zu.messages.prefix.v1", "zu.messages.output.v1"},
    {"openai.responses", "zu.responses.origin.v1", "zu.responses.content.v1",
     "zu.responses.prefix.v1", "zu.responses.output.v1"},
    {"google.generate", "zu.gemini.origin.v1", "zu.gemini.content.v1",
     "zu.gemini.prefix.v1", "zu.gemini.output.v1"},
    {"google.interactions", "zu.interactions.origin.v1", "zu.interactions.content.v1",
     "zu.interactions.prefix.v1", "zu.interactions.output.v1"},
    {"openai.chat", "zu.chat.origin.v1", "zu.chat.content.v1", "zu.chat.prefix.v1",
     "zu.chat.output.v1"},
}};

// family_row returns the row of `family`, or null for a value outside the enumeration.
[[nodiscard]] constexpr const FamilyRow* family_row(Family family) noexcept {
  const auto index = static_cast<std::size_t>(static_cast<std::int32_t>(family));
  return index < kFamilies.size() ? &kFamilies[index] : nullptr;
}

// find_family returns the family whose name is exactly `name`, or nothing.
[[nodiscard]] constexpr std::optional<Family> find_family(std::string_view name) noexcept {
  for (std::size_t i = 0; i < kFamilies.size(); ++i)
    if (kFamilies[i].name == name) return static_cast<Family>(i);
  return std::nullopt;
}

}  // namespace zu::native
