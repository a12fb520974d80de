// A small library that the tests of the export and ABI checks build in several versions:
// PROBE_WIDER adds a member to Record (an incompatible change), PROBE_MORE adds a function
// (a compatible one). It lies in zu::json so that the export check judges it as zu_json,
// and it has no version script: the shared_ptr control block it instantiates has its
// vtable and typeinfo exported, as ours had before theirs, in every build type.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#define PROBE_EXPORT __attribute__((visibility("default")))

namespace zu::json::probe {

struct Record {
  std::uint64_t first = 0;
#if defined(PROBE_WIDER)
  std::uint64_t second = 0;
#endif
};

PROBE_EXPORT std::uint64_t read(const Record& record);
#if defined(PROBE_MORE)
PROBE_EXPORT std::uint64_t read_twice(const Record& record);
#endif
PROBE_EXPORT std::shared_ptr<const std::string> share(std::string text);

}  // namespace zu::json::probe
