// The archive's one refusal, the only failure its callers ever see.
#pragma once

#include "zu/error.hpp"

namespace zu::archive {

// refusal returns the error of every refused archive operation: kind archive_admission,
// a fixed message, not retryable, every other member at its default.
inline Error refusal() {
  Error error;
  error.kind = ErrorKind::archive_admission;
  error.message = "Trusted local native archive admission failed";
  error.retryable = 0;
  return error;
}

}  // namespace zu::archive
