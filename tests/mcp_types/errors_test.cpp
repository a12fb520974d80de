#include <vantrel/mcp_types.hpp>
