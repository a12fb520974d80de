// A program that uses vantrel_mcp_types and nothing else of the package.
#include <cstdio>

int check_mcp_types();

int main() {
  const int failures = check_mcp_types();
  std::puts(failures == 0 ? "mcp_types consumer: ok" : "mcp_types consumer: FAILED");
  return failures == 0 ? 0 : 3;
}
