// Input: the body of a custody record (everything after its four header fields), read as
// load reads a record that carries a valid MAC. The key never stops the fuzzer, so every
// reading rule behind the MAC is exercised.
//
// Besides not crashing, a record that reads must save again: encoding what was decoded
// succeeds, and that encoding reads back and encodes to the same bytes. A reader that
// accepts what the writer refuses (or the reverse) would let save report success for a
// record that load always refuses.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/codec.hpp"
#include "archive/state.hpp"
#include "archive/record_writer.hpp"
#include "zu/archive_fs/handle.hpp"
#include "zu/core.hpp"

namespace {

constexpr std::string_view kScope = "fuzz-scope";

const zu::NativeArchive::State& state() {
  static const auto* made = [] {
    auto policy = std::make_shared<const zu::descriptor::DescriptorPolicy>(
        "fuzz.policy", zu::descriptor::CodecResources{.max_digest_bytes = 1 << 16,
                                                      .max_json_depth = 16,
                                                      .max_json_entries = 1024,
                                                      .max_message_count = 64,
                                                      .max_block_count = 256});
    zu::descriptor::ValidatedDescriptor descriptor({.revision = 1,
                                                    .id = "fuzz",
                                                    .family = "anthropic.messages",
                                                    .base_url = "https://api.example.test",
                                                    .paths = {"/v1/send", "/v1/stream"},
                                                    .policy = policy});
    return new zu::NativeArchive::State("/fuzz/store", "/fuzz/key", "fuzz-owner",
                                        std::move(descriptor),
                                        {.max_record_bytes = 1 << 16,
                                         .max_messages = 64,
                                         .max_blocks = 256,
                                         .max_json_depth = 16,
                                         .max_records = 64,
                                         .max_store_bytes = 1 << 22});
  }();
  return *made;
}

// header returns the four fields every record of this archive and scope begins with.
// The writer gives them with the archive's own owner scope and descriptor digest.
const std::string& header() {
  static const std::string bytes = [] {
    const std::string empty_record = zu::NativeArchive::Codec::encode(state(), {}, kScope);
    return empty_record.substr(0, empty_record.size() - 8);  // without the message count
  }();
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string record = header() + std::string(reinterpret_cast<const char*>(data), size);
  std::vector<zu::Message> messages;
  try {
    messages = zu::NativeArchive::Codec::decode(state(), record, kScope);
  } catch (const zu::archive_fs::Rejected&) {
    return 0;
  }
  std::string again;
  try {
    again = zu::NativeArchive::Codec::encode(state(), messages, kScope);
  } catch (const zu::archive_fs::Rejected&) {
    std::abort();  // read, but would not be saved
  }
  try {
    const std::vector<zu::Message> reread = zu::NativeArchive::Codec::decode(state(), again, kScope);
    if (zu::NativeArchive::Codec::encode(state(), reread, kScope) != again) std::abort();
  } catch (const zu::archive_fs::Rejected&) {
    std::abort();  // saved, but would not load
  }
  return 0;
}
