// zu_descriptor: validated provider descriptors, their policies and resource limits,
// stop kinds and the effective request choices a policy resolves.
//
// This umbrella header includes the library's whole public interface.
#pragma once

#include "zu/descriptor/effective_choices.hpp"
#include "zu/descriptor/export.hpp"
#include "zu/descriptor/policy.hpp"
#include "zu/descriptor/stop_kind.hpp"
#include "zu/descriptor/validated_descriptor.hpp"
