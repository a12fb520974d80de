// Fixtures of the native archive suites: a private scratch store on the real file
// system, a provisioned archive over it, conversations whose replies carry real replay
// tokens, and a rendering of messages that shows every member, so two message lists
// can be compared without trusting the archive's own encoding.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "native_fixtures.hpp"
#include "scratch.hpp"
#include "zu/core.hpp"

namespace zu_test {

using ArchivePtr = std::shared_ptr<zu::NativeArchive>;
using ArchiveResult = std::variant<ArchivePtr, zu::Error>;

// kAddressSanitizer is true in a build under AddressSanitizer, whose runtime stands in
// for some system calls and has limits of its own that a few tests must allow for.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

// is_refusal returns whether `result` holds the archive's one error.
template <typename T>
bool is_refusal(const std::variant<T, zu::Error>& result) {
  const auto* error = std::get_if<zu::Error>(&result);
  return error != nullptr && error->kind == zu::ErrorKind::archive_admission &&
         error->message == "Trusted local native archive admission failed" &&
         error->retryable == 0 && error->status == 0;
}

// render returns every member of `messages` as text: documents by their compact JSON,
// replay tokens by their members and their context's stored members.
std::string render(const std::vector<zu::Message>& messages);

// conversation returns a three-turn conversation of `family` under `descriptor`: user
// questions, replies with native content and valid replay tokens, a tool call and its
// answer. Every reply's token is issued on a context that binds the history before it.
std::vector<zu::Message> conversation(Family family,
                                      const zu::descriptor::ValidatedDescriptor& descriptor);

// every_block returns one message holding each of the twelve block kinds, with every
// optional member set, and documents with repeated members where a reader allows them.
zu::Message every_block();

// ArchiveTest provides a scratch directory with a private "keys" directory, a
// descriptor of the messages family, and the archive's paths.
class ArchiveTest : public ::testing::Test {
 protected:
  ArchiveTest();

  std::string store_path() const { return scratch_.at("store"); }
  std::string key_path() const { return scratch_.at("keys/archive.key"); }

  ArchiveResult provision(zu::NativeArchiveLimits limits = {}, std::string owner = "owner-1") const;
  ArchiveResult open(zu::NativeArchiveLimits limits = {}, std::string owner = "owner-1") const;
  // made provisions with the defaults and fails the test when that is refused.
  ArchivePtr made(zu::NativeArchiveLimits limits = {});
  // entries returns the names in the store directory, sorted.
  std::vector<std::string> entries() const;

  zu::archive_fs::testing::Scratch scratch_;
  zu::descriptor::ValidatedDescriptor descriptor_;
};

}  // namespace zu_test
