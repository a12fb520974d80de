// Quotes arbitrary bytes under arbitrary budgets. Writing and measuring must agree on
// success and size, a successful literal must equal quote() and parse back to the text,
// and a failed one must never pass its budget.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <variant>

#include <zu/json.hpp>

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::uint16_t budget_bits = 0;
  std::memcpy(&budget_bits, data, 2);
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::uint64_t budget = budget_bits % 2 == 0 ? std::uint64_t{1} << 20 : budget_bits / 2u;
  const zu::json::Limits limits{.max_bytes = budget, .max_depth = 8};

  std::string written = "[";
  zu::json::BoundedWriter writer(limits, &written);
  writer.quoted(text);
  zu::json::BoundedWriter measure(limits, nullptr);
  measure.raw("[").quoted(text);
  check(writer.ok() == measure.ok());
  check(written.size() <= budget || !writer.ok());
  if (writer.ok()) {
    check(measure.used() == written.size() && writer.used() == written.size());
    const std::string literal = written.substr(1);
    check(literal == zu::json::quote(text));
    auto parsed = zu::json::parse(literal, {.max_bytes = literal.size(), .max_depth = 0});
    check(std::holds_alternative<zu::json::Document>(parsed));
    check(std::get<zu::json::Document>(parsed).root().as_string() == text);
  } else if (budget >= (std::uint64_t{1} << 20)) {
    // With room to spare, only broken UTF-8 fails.
    check(zu::json::quote(text).empty());
  }
  return 0;
}
