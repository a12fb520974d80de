// Structural comparison of JSON values.
#pragma once

#include "zu/json/export.hpp"
#include "zu/json/value.hpp"

namespace zu::json {

// equal returns true when `a` and `b` are the same JSON: same types; strings with the
// same bytes; numbers of one storage class with the same 64-bit payload (so 0.0 and -0.0
// differ), a signed and an unsigned integer equal when the values are; a real never
// equals an integer (1 and 1.0 differ); arrays element by element in order; objects with
// the same member count where every member of `a` finds its name's first member in `b`
// with an equal value, in any order. Either Value invalid gives false.
//
// It is iterative: nesting costs heap memory, not stack. Only reads its inputs.
//
// WARNING: comparing objects searches `b` linearly for each member of `a`, so two large
// objects cost time quadratic in their member count.
[[nodiscard]] ZU_JSON_EXPORT bool equal(Value a, Value b);

}  // namespace zu::json
