// The installed core library through its umbrella header: the interface contract,
// image validation, the content records, and a refusal of the archive file system
// caught by its exported type.
#include <memory>
#include <string>

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
  return check_archive_fs();
}
