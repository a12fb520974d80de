// Validated provider descriptors: how one provider endpoint of a wire family is spoken
// to, and under which policy.
//
// A descriptor is built from its fields once they have been checked, and then only read:
//
//   zu::descriptor::ValidatedDescriptor descriptor({
//       .revision = 3,
//       .id = "acme-messages",
//       .family = "anthropic.messages",
//       .base_url = "https://api.acme.test",
//       .paths = {"/v1/messages", "/v1/messages"},
//       .request_model_member = "model",
//       .request_messages_member = "messages",
//       .request_stream_member = "stream",
//       .max_output_tokens_member = "max_tokens",
//       .usage_path = {"usage"},
//       .headers = {{"anthropic-version", "2023-06-01"}},
//       .stop_mappings = {{"end_turn", zu::descriptor::StopKind::turn_ended}},
//       .policy = policy,
//   });
//
// Thread safety: a ValidatedDescriptor is a value. Its const members may run on several
// threads at once; changing or moving it belongs to its one owner.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "zu/descriptor/export.hpp"
#include "zu/descriptor/policy.hpp"
#include "zu/descriptor/stop_kind.hpp"

namespace zu::descriptor {

// FamilyPolicy holds what the descriptor library knows about a wire family as a whole.
struct FamilyPolicy {
  // anthropic_version is the default value of the "anthropic-version" header, used
  // when a descriptor of the "anthropic.messages" family sends none. Empty for the
  // other families.
  std::string anthropic_version{};
};

// DescriptorFields are the parts of a descriptor, in the order the descriptor keeps
// them. It is a plain aggregate for brace initialisation.
struct DescriptorFields {
  // revision counts the descriptor's published versions.
  std::uint64_t revision = 0;
  // id names the descriptor; family is one of the wire family names
  // ("anthropic.messages", "openai.responses", "google.generate",
  // "google.interactions", "openai.chat"); base_url is the endpoint's origin.
  std::string id{}, family{}, base_url{};
  // paths are the request paths: [0] for plain requests, [1] for streaming ones.
  std::array<std::string, 2> paths{};
  // The names of the request's JSON members for the model, the message list, the
  // streaming switch and the output-token limit.
  std::string request_model_member{}, request_messages_member{}, request_stream_member{},
      max_output_tokens_member{};
  // usage_path is the member path to the usage report in a response.
  std::vector<std::string> usage_path{};
  // headers are sent with every request, as (name, value) in this order.
  std::vector<std::pair<std::string, std::string>> headers{};
  // stop_mappings map a provider's stop text to its StopKind.
  std::vector<std::pair<std::string, StopKind>> stop_mappings{};
  // (nullable) policy is the policy the descriptor is used under.
  std::shared_ptr<const DescriptorPolicy> policy{};
};

// ValidatedDescriptor is a provider descriptor whose fields passed validation. Its
// accessors return references into the descriptor, valid while it lives unchanged.
class ValidatedDescriptor {
 public:
  // ValidatedDescriptor takes over `fields`. This stand-in trusts the caller and checks
  // nothing.
  explicit ValidatedDescriptor(DescriptorFields fields) : fields_(std::move(fields)) {}

  [[nodiscard]] std::uint64_t revision() const noexcept { return fields_.revision; }
  [[nodiscard]] const std::string& id() const noexcept { return fields_.id; }
  [[nodiscard]] const std::string& family() const noexcept { return fields_.family; }
  [[nodiscard]] const std::string& base_url() const noexcept { return fields_.base_url; }

  // path returns the request path for streaming (true) or plain (false) requests.
  [[nodiscard]] const std::string& path(bool streaming) const noexcept {
    return fields_.paths[streaming ? 1 : 0];
  }

  [[nodiscard]] const std::string& request_model_member() const noexcept {
    return fields_.request_model_member;
  }
  [[nodiscard]] const std::string& request_messages_member() const noexcept {
    return fields_.request_messages_member;
  }
  [[nodiscard]] const std::string& request_stream_member() const noexcept {
    return fields_.request_stream_member;
  }
  [[nodiscard]] const std::string& max_output_tokens_member() const noexcept {
    return fields_.max_output_tokens_member;
  }
  [[nodiscard]] const std::vector<std::string>& usage_path() const noexcept {
    return fields_.usage_path;
  }
  [[nodiscard]] const std::vector<std::pair<std::string, std::string>>& headers()
      const noexcept {
    return fields_.headers;
  }
  [[nodiscard]] const std::vector<std::pair<std::string, StopKind>>& stop_mappings()
      const noexcept {
    return fields_.stop_mappings;
  }

  // policy returns the descriptor's policy, which may be null.
  [[nodiscard]] const std::shared_ptr<const DescriptorPolicy>& policy() const noexcept {
    return fields_.policy;
  }

  // family_policy returns what the library knows about the descriptor's family. A
  // family it does not know gets an empty FamilyPolicy. Throws std::bad_alloc when
  // memory runs out.
  [[nodiscard]] ZU_DESCRIPTOR_EXPORT FamilyPolicy family_policy() const;

 private:
  DescriptorFields fields_;
};

}  // namespace zu::descriptor
