// The digest type of the native context, replay and archive.
#pragma once

#include <array>
#include <cstdint>

namespace zu {

// Digest is one SHA-256 output. Every binding the library makes between a request, its
// history and native content is a Digest over a domain-separated, framed byte stream;
// the same inputs give the same Digest in every build.
using Digest = std::array<std::uint8_t, 32>;

}  // namespace zu
