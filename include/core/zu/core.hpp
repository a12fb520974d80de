// zu_core: the provider-neutral conversation model (messages, content blocks, the error
// record, image validation, the interface contract), the request records of the five
// wire families, native contexts and replay tokens, and the hardened archive file
// system.
//
// This umbrella header includes the library's whole public interface; outside code
// includes only this one.
#pragma once

#include "zu/archive_fs.hpp"
#include "zu/chat/request.hpp"
#include "zu/codec_access.hpp"
#include "zu/content_block.hpp"
#include "zu/digest.hpp"
#include "zu/error.hpp"
#include "zu/export.hpp"
#include "zu/gemini/request.hpp"
#include "zu/image.hpp"
#include "zu/interactions/request.hpp"
#include "zu/interface_contract.hpp"
#include "zu/message.hpp"
#include "zu/messages/request.hpp"
#include "zu/native_archive.hpp"
#include "zu/native_context.hpp"
#include "zu/native_replay.hpp"
#include "zu/response_format.hpp"
#include "zu/responses/request.hpp"
#include "zu/routing.hpp"
#include "zu/stop_reason.hpp"
