// How a provider response stopped, as a small number shared by descriptors, responses
// and native replay.
//
// The header stands alone so that the `zu` record headers can name the type without
// pulling in the rest of the descriptor interface.
#pragma once

#include <cstdint>

namespace zu::descriptor {

// StopKind is the provider-neutral kind of a response's stop, a value from 0 to 10.
// A descriptor's stop mappings turn a provider's own stop text into one of these, and
// the decoders of provider responses decide which stop each value stands for. Digests
// and archive records carry the number, so a value never changes meaning.
//
// Only the values whose part in native replay is fixed have names; the others are
// written as numbers, StopKind{2}.
enum class StopKind : std::int32_t {
  // turn_ended (0), tool_use (1) and other_complete (5) are the stops that leave a
  // reply's provider items complete: a reply of the responses, gemini or interactions
  // family may be replayed only after one of these three, never after any other kind.
  //
  // turn_ended is a reply that came to its own end; descriptors map stop texts such as
  // "end_turn" and "stop" to it.
  turn_ended = 0,
  // tool_use is a reply that stopped to have its tool calls run; descriptors map
  // "tool_use" to it.
  tool_use = 1,
  // other_complete is the third stop after which a reply is complete; which provider
  // stop it stands for is the decoders' choice.
  other_complete = 5,
  // not_given is what a replay records when the response came without a stop reason,
  // and the kind a default StopReason carries. Such a reply is never replayed.
  not_given = 9,
};

}  // namespace zu::descriptor
