# The MCP result readers and the schema checker read bytes from MCP servers and models.
zu_add_fuzzer(mcp_results SOURCES ${CMAKE_CURRENT_LIST_DIR}/mcp_results.cpp LIBRARIES vantrel::mcp_types)
zu_add_fuzzer(mcp_schema SOURCES ${CMAKE_CURRENT_LIST_DIR}/mcp_schema.cpp LIBRARIES vantrel::mcp_types)
