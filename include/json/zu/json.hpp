// zu_json: strict JSON parsing under byte and nesting limits with duplicate-member
// rejection, read-only values, a bounded writer, quoting and structural comparison.
//
// This umbrella header includes the library's whole public interface.
#pragma once

#include "zu/json/compare.hpp"
#include "zu/json/document.hpp"
#include "zu/json/export.hpp"
#include "zu/json/value.hpp"
#include "zu/json/writer.hpp"
