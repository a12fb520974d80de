// The descriptor digest.
#include "native/descriptor_digest.hpp"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "native/digest_writer.hpp"
#include "native/family_table.hpp"

namespace zu::native {
namespace {

constexpr std::string_view kVersionHeader = "anthropic-version";

std::string lower_ascii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// Header is a header as digested: its lower-cased name and (unowned) value.
struct Header {
  std::string name;
  const std::string* value;
};

}  // namespace

bool descriptor_digest(const descriptor::ValidatedDescriptor& descriptor, Digest& out) {
  const std::optional<Family> family = find_family(descriptor.family());
  if (!family || descriptor.policy() == nullptr) return false;
  const FamilyRow& row = *family_row(*family);
  const bool versioned = *family == Family::messages;

  digest::Writer writer(descriptor.policy()->resources());
  writer.bytes(row.origin);
  writer.bytes(descriptor.policy()->identity());
  writer.bytes(descriptor.family());
  writer.bytes(descriptor.id());
  writer.bytes(descriptor.base_url());
  if (*family == Family::gemini) {
    writer.bytes(descriptor.path(false));
    writer.bytes(descriptor.path(true));
  }
  writer.bytes(descriptor.request_model_member());
  writer.bytes(descriptor.request_messages_member());
  writer.bytes(descriptor.request_stream_member());
  writer.bytes(descriptor.max_output_tokens_member());
  writer.list(descriptor.usage_path());

  writer.u64(descriptor.stop_mappings().size());
  for (const auto& [text, kind] : descriptor.stop_mappings()) {
    writer.bytes(text);
    writer.sign_extended(kind);
  }

  std::vector<Header> headers;
  headers.reserve(descriptor.headers().size());
  const std::string* version = nullptr;
  for (const auto& [name, value] : descriptor.headers()) {
    std::string lowered = lower_ascii(name);
    if (lowered == "accept" || lowered == "content-type") continue;
    if (versioned && lowered == kVersionHeader) {
      version = &value;
      continue;
    }
    headers.push_back({std::move(lowered), &value});
  }
  std::sort(headers.begin(), headers.end(), [](const Header& a, const Header& b) {
    if (a.name != b.name) return a.name < b.name;
    return *a.value < *b.value;
  });
  writer.u64(headers.size());
  for (const Header& header : headers) {
    writer.bytes(header.name);
    writer.bytes(*header.value);
  }

  if (versioned) {
    writer.bytes(kVersionHeader);
    if (version != nullptr) {
      writer.bytes(*version);
    } else {
      writer.bytes(descriptor.family_policy().anthropic_version);
    }
  }
  return writer.finish(out);
}

}  // namespace zu::native
