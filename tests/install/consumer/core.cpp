// The installed core library through its umbrella header: the interface contract,
// image validation, the content records, a two-turn conversation through the codecs'
// door, a refusal of the archive file system caught by its exported type, and a native
// archive that saves and loads that conversation.
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include <zu/core.hpp>

namespace {

int check_archive_fs() {
  namespace fs = zu::archive_fs;
  try {
    static_cast<void>(fs::locate("/"));
    return 1;
  } catch (const fs::Rejected&) {
  }
  return fs::same_file({1, 2, 0, 0, 0}, {1, 2, 3, 4, 5}) ? 0 : 1;
}

// check_archive saves `messages` in a new archive in a private temporary directory and
// loads them back.
int check_archive(const zu::descriptor::ValidatedDescriptor& descriptor,
                  const std::vector<zu::Message>& messages) {
  char pattern[] = "/tmp/zu-consumer-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const std::string home = pattern;
  int failed = ::mkdir((home + "/keys").c_str(), 0700) == 0 ? 0 : 1;
  auto made = zu::NativeArchive::provision(home + "/store", home + "/keys/k", "consumer", descriptor,
                                           {.max_records = 4});
  if (auto* archive = std::get_if<std::shared_ptr<zu::NativeArchive>>(&made)) {
    auto key = (*archive)->save(messages, "scope");
    const auto* text = std::get_if<std::string>(&key);
    failed += text != nullptr && text->rfind("zuna3:", 0) == 0 ? 0 : 1;
    if (text != nullptr) {
      auto back = (*archive)->load(*text, "scope");
      const auto* loaded = std::get_if<std::vector<zu::Message>>(&back);
      failed += loaded != nullptr && loaded->size() == messages.size() &&
                        loaded->back().replay != nullptr && loaded->back().replay->valid
                    ? 0
                    : 1;
    }
  } else {
    failed += 1;
  }
  std::filesystem::remove_all(home);
  return failed;
}

// check_native runs one turn of a messages conversation and binds its reply in the next
// request.
int check_native() {
  auto policy = std::make_shared<const zu::descriptor::DescriptorPolicy>(
      "consumer.policy.v1",
      zu::descriptor::CodecResources{.max_digest_bytes = 1 << 16, .max_json_depth = 8,
                                     .max_json_entries = 64, .max_message_count = 16,
                                     .max_block_count = 64});
  const zu::descriptor::ValidatedDescriptor descriptor({.id = "consumer",
                                                        .family = "anthropic.messages",
                                                        .base_url = "https://api.example.test",
                                                        .paths = {"/v1/messages", "/v1/messages"},
                                                        .policy = policy});
  zu::messages::Request request{.model = "msg-1", .system = "Be brief."};
  request.messages.push_back({"", zu::Role::user, {zu::Text{"hello"}}, nullptr, nullptr});
  const auto first = zu::CodecAccess::context(descriptor, request, {}, false);
  if (!first->bound || !first->history_replayable || !first->matches_descriptor(descriptor))
    return 1;

  zu::Message reply{"msg_1", zu::Role::assistant, {zu::Thinking{"hm", "sig"}, zu::Text{"hi"}},
                    nullptr, nullptr};
  const zu::StopReason stop{};
  reply.replay = zu::CodecAccess::replay(first, reply, &stop, true);
  if (!reply.replay->valid || !zu::CodecAccess::archive_valid(*reply.replay, reply)) return 1;

  request.messages.push_back(reply);
  const auto second = zu::CodecAccess::context(descriptor, request, {}, false);
  if (!second->history_replayable || second->prefix_digest == first->prefix_digest) return 1;
  return check_archive(descriptor, request.messages);
}

}  // namespace

int check_core() {
  const zu::InterfaceContract contract = zu::core_interface_contract();
  if (contract.version != 4 || (contract.capabilities & 0x7C) != 0x7C) return 1;

  zu::Image image;
  image.media_type = "image/jpeg";
  image.data = std::make_shared<const std::string>("/9j/4AA=");
  if (!zu::valid_image(image, 5) || zu::valid_image(image, 4)) return 1;
  if (zu::image_detail_name(zu::ImageDetail::high) != "high") return 1;

  zu::Message message;
  message.role = zu::Role::user;
  message.content.push_back(zu::Text{"hello"});
  message.content.push_back(std::move(image));
  if (message.content.size() != 2 || message.content[1].index() != 10) return 1;
  return check_native() + check_archive_fs();
}
