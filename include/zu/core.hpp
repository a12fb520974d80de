// zu_core: the provider-neutral conversation model (messages, content blocks, the error
// record, image validation, the interface contract), digests, and the hardened archive
// file system.
//
// This umbrella header includes the library's whole public interface; outside code
// includes only this one.
#pragma once

#include "zu/archive_fs.hpp"
#include "zu/content_block.hpp"
#include "zu/digest.hpp"
#include "zu/error.hpp"
#include "zu/export.hpp"
#include "zu/image.hpp"
#include "zu/interface_contract.hpp"
#include "zu/message.hpp"
#include "zu/stop_reason.hpp"
