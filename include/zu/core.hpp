// zu_core: provider-neutral messages and content blocks, the error record, image
// validation and the interface contract.
//
// This umbrella header includes the library's whole public interface.
#pragma once

#include "zu/content_block.hpp"
#include "zu/digest.hpp"
#include "zu/error.hpp"
#include "zu/export.hpp"
#include "zu/image.hpp"
#include "zu/interface_contract.hpp"
#include "zu/message.hpp"
#include "zu/stop_reason.hpp"
