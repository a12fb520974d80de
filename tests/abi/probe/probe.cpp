#include "probe.hpp"

#include <utility>

namespace zu::json::probe {

std::uint64_t read(const Record& record) { return record.first; }

#if defined(PROBE_MORE)
std::uint64_t read_twice(const Record& record) { return 2 * record.first; }
#endif

std::shared_ptr<const std::string> share(std::string text) {
  return std::make_shared<const std::string>(std::move(text));
}

}  // namespace zu::json::probe
