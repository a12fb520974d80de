// The outcome of one provider call: a completion or a failure.
//
// Provider loops hold an outcome as `std::variant<zu::Completion, zu::Failure>`; on
// failure they throw `vantrel::ProviderFailure`, which carries it. Both records are plain
// aggregates with no behaviour and depend on the standard library only.
//
// Thread safety: plain values. Concurrent reads are safe; writes need exclusive access.
#pragma once

#include <cstdint>
#include <string>

#include "zu/usage.hpp"

namespace zu {

// Completion is a call that produced an answer.
struct Completion {
  // text is the answer's text, concatenated in order.
  std::string text{};
  // usage is the provider's token-usage report for the call.
  Usage usage{};

  friend bool operator==(const Completion&, const Completion&) = default;
};

// Failure is a call that failed. Tokens a failed call still consumed are in `usage`.
struct Failure {
  // code is the provider's or transport's status code (an HTTP status, for instance),
  // or 0 when the call failed before any answer.
  std::int64_t code = 0;
  // message says what went wrong, in English.
  std::string message{};
  Usage usage{};

  friend bool operator==(const Failure&, const Failure&) = default;
};

}  // namespace zu
