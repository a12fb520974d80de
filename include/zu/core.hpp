// zu_core: the provider-neutral conversation model, native context and replay, the
// hardened archive file system and the native archive built on it. Outside code
// includes this one header to reach the library's whole public interface.
#pragma once

#include "zu/archive_fs.hpp"
