// The pieces that several configuration digests share.
//
// Every configuration digest begins with begin_configuration: bytes(family label), the
// effective choices in their member order (each optional as u64(present) and its
// value; the thinking effort and summary only when thinking is enabled), and
// bytes(model). The other feeds frame a request's nested records; each optional record
// is u64(present) followed, when present, by its members.
//
// Thread safety: a feed belongs to the one digest operation that calls it.
#pragma once

#include <optional>
#include <string_view>
#include <type_traits>
#include <vector>

#include "native/digest_writer.hpp"
#include "native/json_hash.hpp"
#include "zu/descriptor/effective_choices.hpp"
#include "zu/response_format.hpp"
#include "zu/routing.hpp"

namespace zu::native {

// begin_configuration feeds the items every configuration digest starts with.
void begin_configuration(digest::Writer& writer, std::string_view label,
                         const descriptor::EffectiveChoices& choices, std::string_view model);

// feed_routing feeds an optional routing record: its three flags as optionals, its
// three lists and its sort text as an optional.
void feed_routing(digest::Writer& writer, const std::optional<OpenRouterRouting>& routing);

// feed_response_format feeds an optional response format: the type zero-extended, the
// two texts, the schema as an optional document and the strict flag as an optional.
void feed_response_format(digest::Writer& writer, digest::JsonHasher& json,
                          const std::optional<ResponseFormat>& format);

// feed_optional_enum feeds an optional request enumeration: u64(present) and, when
// present, the value zero-extended.
template <class Enum>
  requires std::is_enum_v<Enum>
void feed_optional_enum(digest::Writer& writer, const std::optional<Enum>& value) {
  writer.boolean(value.has_value());
  if (value) writer.zero_extended(*value);
}

// feed_plain_tools feeds a tool list whose tools are a name, a description and a
// parameter schema: u64(count), then bytes(name), bytes(description) and the schema as
// an optional document of each, stopping once the writer has failed.
template <class Tool>
void feed_plain_tools(digest::Writer& writer, digest::JsonHasher& json,
                      const std::vector<Tool>& tools) {
  writer.u64(tools.size());
  for (const Tool& tool : tools) {
    if (!writer.ok()) return;
    writer.bytes(tool.name);
    writer.bytes(tool.description);
    json.document(writer, tool.parameters);
  }
}

}  // namespace zu::native
