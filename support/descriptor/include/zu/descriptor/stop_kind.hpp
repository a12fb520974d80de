// How a provider response stopped, as a small number shared by descriptors, responses
// and native replay.
//
// The header stands alone so that the `zu` record headers can name the type without
// pulling in the rest of the descriptor interface.
#pragma once

#include <cstdint>

namespace zu::descriptor {

// StopKind is the provider-neutral kind of a response's stop, a value from 0 to 10.
// A descriptor's stop mappings turn a provider's own stop text into one of these. The
// decoders of provider responses give the values their names; digests and archive
// records carry the number.
enum class StopKind : std::int32_t {};

}  // namespace zu::descriptor
