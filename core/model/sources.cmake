# The content model: records are header-only; these are its few functions.
list(APPEND ZU_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/interface_contract.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image.cpp)
