#include <gtest/gtest.h>

#include <zu/json.hpp>

