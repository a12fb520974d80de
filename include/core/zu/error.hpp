// The error record of the library's fallible results.
//
//   std::variant<std::string, zu::Error> key = archive->save(messages, "session-7");
//   if (const auto* error = std::get_if<zu::Error>(&key))
//     std::cerr << error->message << '\n';
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace zu {

// ErrorKind classifies an Error. The provider codecs give the values other than
// archive_admission their meaning; the core library itself reports only that one.
// Values are carried as numbers, so a value never changes meaning.
enum class ErrorKind : std::int32_t {
  // unclassified is the kind of a default-constructed Error: a failure nothing has
  // classified yet. A codec that reports it says what it means for its provider.
  unclassified = 4,
  // archive_admission is the native archive refusing the store, key file or record.
  archive_admission = 13,
};

// Error is the failure alternative of results of the form std::variant<T, zu::Error>.
// A plain aggregate; the member order is fixed.
struct Error {
  // kind defaults to unclassified (4).
  ErrorKind kind = ErrorKind::unclassified;
  // message is a fixed English text for the kind of failure.
  std::string message{};
  // status is the provider's status code, or 0.
  std::int32_t status = 0;
  // retryable is nonzero when trying the same operation again may succeed.
  std::int32_t retryable = 1;
  // error_detail_code and error_detail carry the provider's own error code and text.
  std::int32_t error_detail_code = 0;
  std::string error_detail{};
  // retry_after is how long the provider asked to wait before retrying.
  std::optional<std::chrono::milliseconds> retry_after{};
  // timed_out and cancelled say that the operation ended by a deadline or by the
  // caller; attempts counts the tries made before giving up.
  bool timed_out = false;
  bool cancelled = false;
  std::uint32_t attempts = 0;
};

}  // namespace zu
