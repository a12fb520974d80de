#include <variant>

#include <zu/json.hpp>

int main() {
  auto parsed = zu::json::parse("[1]", {.max_bytes = 8, .max_depth = 1});
  return std::holds_alternative<zu::json::Document>(parsed) ? 0 : 1;
}
