// load: an archive key in, the message list it was saved from out.
#include <openssl/crypto.h>

#include <string>

#include "archive/codec.hpp"
#include "archive/mac.hpp"
#include "archive/names.hpp"
#include "archive/refusal.hpp"
#include "archive/secret.hpp"
#include "archive/state.hpp"
#include "archive_fs/checked_status.hpp"
#include "archive_fs/require.hpp"
#include "zu/archive_fs.hpp"
#include "zu/native_archive.hpp"

namespace zu {

std::variant<std::vector<Message>, Error> NativeArchive::load(std::string_view archive_key,
                                                              std::string_view record_scope) const {
  using namespace archive_fs;
  try {
    const State& state = *state_;
    state.verify();
    // A key of any other form opens no file at all.
    const std::optional<std::string_view> digits = archive::record_name(archive_key);
    require(digits.has_value());
    const std::string name(*digits);

    const Handle file = open_file(state.store_, name, Missing::refused);
    const Status seen = private_file_status(file, Shape::sealed);
    const std::string record = read_all_since(file, state.limits_.max_record_bytes, seen);
    // The MAC decides before a single byte of the record is parsed.
    const std::string computed = archive::hex(archive::mac(state.secrets_->custody_key(), record));
    require(CRYPTO_memcmp(computed.data(), name.data(), computed.size()) == 0);

    std::vector<Message> messages = Codec::decode(state, record, record_scope);
    // No writer lock is taken: what was read must still be what the name denotes.
    require_still_sealed(state.store_, name, file, seen);
    state.verify();
    return messages;
  } catch (const Rejected&) {
    return archive::refusal();
  }
}

}  // namespace zu
