// The installed descriptor library: a descriptor built from its fields, and the two
// members that live in the library.
#include <memory>

#include <zu/descriptor.hpp>

int check_descriptor() {
  auto policy = std::make_shared<const zu::descriptor::DescriptorPolicy>(
      "consumer.policy", zu::descriptor::CodecResources{1024, 8, 64, 16, 64},
      zu::descriptor::RequestDefaults{true});
  zu::descriptor::DescriptorFields fields;
  fields.family = "anthropic.messages";
  fields.paths = {"/v1/messages", "/v1/messages"};
  fields.policy = policy;
  const zu::descriptor::ValidatedDescriptor descriptor(std::move(fields));
  if (descriptor.family_policy().anthropic_version.empty()) return 1;
  if (descriptor.policy()->defaults("anthropic.messages", "m").tool_flag_default != true) return 1;
  return 0;
}
