// How a provider response stopped.
#pragma once

#include <string>

#include "zu/descriptor/stop_kind.hpp"

namespace zu {

// StopKind is the descriptor library's stop kind under the core's own namespace: the
// two names denote one type.
using StopKind = descriptor::StopKind;

// StopReason is the stop of one provider response, as the response decoder found it.
// Native replay reads only `kind`. A plain aggregate.
struct StopReason {
  // kind is the provider-neutral stop kind. Its default, not_given (9), is also what a
  // replay records when no stop reason is given at all.
  StopKind kind = StopKind::not_given;
  // text is the provider's own stop text that the descriptor's stop mappings turned into
  // `kind`; empty when the provider gave none.
  std::string text{};
};

}  // namespace zu
