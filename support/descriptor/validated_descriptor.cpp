// What the library knows about each wire family.
#include "zu/descriptor/validated_descriptor.hpp"

#include <string_view>

namespace zu::descriptor {

FamilyPolicy ValidatedDescriptor::family_policy() const {
  if (std::string_view(fields_.family) == "anthropic.messages") return {"2023-06-01"};
  return {};
}

}  // namespace zu::descriptor
