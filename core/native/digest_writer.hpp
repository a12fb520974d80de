// The bounded digest writer: the one way bytes enter a binding digest.
//
// Every digest the native context, replay and archive make is SHA-256 over a stream
// built from four framing primitives, so that no two different inputs can produce the
// same stream:
//   u64(v)        8 bytes, most significant first;
//   bytes(s)      u64(size), then the raw bytes (texts and labels, no terminator);
//   raw32(d)      the 32 bytes of an earlier digest, without a length;
//   finish(out)   the SHA-256 of everything fed.
// Booleans, 32-bit numbers, optionals and lists are fed through these as the helper
// members below describe. A stream always starts with bytes(label), a domain label such
// as "zu.messages.content.v1".
//
//   zu::digest::Writer writer(policy.resources());
//   writer.bytes("zu.chat.prefix.v1");
//   writer.u64(index);
//   writer.raw32(prefix);
//   zu::Digest out;
//   if (!writer.finish(out)) { /* the binding failed; `out` was not touched */ }
//
// Failure: each primitive first claims its bytes against the policy's
// `max_digest_bytes`. A claim that does not fit, an OpenSSL failure, or a caller's
// fail() clears ok() for good; every later primitive then does nothing and finish()
// returns false. Nothing throws.
//
// WARNING: the streams are a persisted format. The same inputs must give the same bytes
// in every build, so a change to what is fed or in which order needs a new label.
//
// Thread safety: a Writer belongs to the one digest operation that made it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <openssl/evp.h>

#include "zu/descriptor/policy.hpp"
#include "zu/digest.hpp"

namespace zu::digest {

class Writer {
 public:
  // Writer starts a SHA-256 stream under `resources`, which must outlive it. When
  // OpenSSL cannot make or start the hash, the writer starts with ok() false.
  explicit Writer(const descriptor::CodecResources& resources) noexcept;
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;
  ~Writer();

  // ok returns false once anything has failed; it never turns true again.
  [[nodiscard]] bool ok() const noexcept { return ok_; }

  // fed returns the number of bytes the stream has absorbed so far.
  [[nodiscard]] std::uint64_t fed() const noexcept { return fed_; }

  // resources returns the limits the writer was made with. Canonical JSON hashing reads
  // its depth and entry limits from here.
  [[nodiscard]] const descriptor::CodecResources& resources() const noexcept {
    return resources_;
  }

  // fail clears ok(). Callers that find a value they cannot frame (an over-deep JSON
  // document, say) use it so that the whole digest fails.
  void fail() noexcept { ok_ = false; }

  // ---- Framing primitives ----

  // u64 feeds `value` as 8 big-endian bytes.
  void u64(std::uint64_t value) noexcept {
    if (!claim(8)) return;
    std::uint8_t word[8];
    for (int i = 0; i < 8; ++i) word[i] = static_cast<std::uint8_t>(value >> (56 - 8 * i));
    put(word, 8);
  }

  // bytes feeds u64(data.size()) and then the bytes of `data`. An empty text feeds only
  // its zero length.
  void bytes(std::string_view data) noexcept {
    u64(data.size());
    if (data.empty() || !claim(data.size())) return;
    put(data.data(), data.size());
  }

  // raw32 feeds the 32 bytes of `digest` with no length. Only chaining steps, which
  // feed earlier digests, use it.
  void raw32(const Digest& digest) noexcept {
    if (!claim(digest.size())) return;
    put(digest.data(), digest.size());
  }

  // ---- Widening ----

  // boolean feeds u64(0) or u64(1).
  void boolean(bool value) noexcept { u64(value ? 1 : 0); }

  // sign_extended feeds a signed 32-bit value widened with its sign. Message roles,
  // block kinds, tool-call kinds, error codes, image details and stop kinds take this
  // form.
  void sign_extended(std::int32_t value) noexcept {
    u64(static_cast<std::uint64_t>(static_cast<std::int64_t>(value)));
  }
  template <class Enum>
    requires std::is_enum_v<Enum> && (sizeof(Enum) == 4)
  void sign_extended(Enum value) noexcept {
    sign_extended(static_cast<std::int32_t>(static_cast<std::underlying_type_t<Enum>>(value)));
  }

  // zero_extended feeds a 32-bit value widened with zeros. The enumerations of request
  // records take this form.
  void zero_extended(std::uint32_t value) noexcept { u64(value); }
  template <class Enum>
    requires std::is_enum_v<Enum> && (sizeof(Enum) == 4)
  void zero_extended(Enum value) noexcept {
    zero_extended(static_cast<std::uint32_t>(static_cast<std::underlying_type_t<Enum>>(value)));
  }

  // ---- Optionals and lists ----

  // optional feeds u64(present) and, when present, the value: a text as bytes, a flag
  // as boolean, a number as u64.
  void optional(const std::optional<std::string>& value) noexcept {
    boolean(value.has_value());
    if (value) bytes(*value);
  }
  void optional(const std::optional<bool>& value) noexcept {
    boolean(value.has_value());
    if (value) boolean(*value);
  }
  void optional(const std::optional<std::uint64_t>& value) noexcept {
    boolean(value.has_value());
    if (value) u64(*value);
  }

  // list feeds u64(count) and then each text as bytes, stopping early once ok() is
  // false.
  void list(const std::vector<std::string>& texts) noexcept {
    u64(texts.size());
    for (const std::string& text : texts) {
      if (!ok_) return;
      bytes(text);
    }
  }

  // ---- Result ----

  // finish completes the stream. When every write succeeded it stores the SHA-256 in
  // `out` and returns true; otherwise it returns false and leaves `out` untouched, so a
  // failed digest can never be mistaken for a partial one. The writer is spent
  // afterwards: ok() is false.
  [[nodiscard]] bool finish(Digest& out) noexcept;

 private:
  // Bytes are gathered here and handed to OpenSSL in large pieces: a stream is mostly
  // 8-byte words, and one update call per word would cost more than the hashing.
  static constexpr std::size_t kBufferSize = 4096;

  struct ContextDeleter {
    void operator()(EVP_MD_CTX* context) const noexcept { EVP_MD_CTX_free(context); }
  };

  // claim counts n more bytes against the budget, or fails the writer when they do not
  // fit. The test is written so that it cannot overflow.
  bool claim(std::uint64_t n) noexcept {
    if (!ok_) return false;
    if (resources_.max_digest_bytes - fed_ < n) {
      ok_ = false;
      return false;
    }
    fed_ += n;
    return true;
  }

  // put appends claimed bytes to the buffer, flushing it first when they do not fit;
  // pieces larger than the buffer go to OpenSSL directly.
  void put(const void* data, std::size_t size) noexcept {
    if (size > kBufferSize - used_) {
      flush();
      if (size >= kBufferSize) {
        update(data, size);
        return;
      }
    }
    std::memcpy(buffer_ + used_, data, size);
    used_ += size;
  }

  void flush() noexcept;
  void update(const void* data, std::size_t size) noexcept;

  const descriptor::CodecResources& resources_;
  std::unique_ptr<EVP_MD_CTX, ContextDeleter> context_;  // (nullable) when creation failed
  std::uint64_t fed_ = 0;    // bytes claimed so far; never above max_digest_bytes
  bool ok_ = false;
  std::size_t used_ = 0;     // bytes waiting in buffer_
  std::uint8_t buffer_[kBufferSize];
};

}  // namespace zu::digest
