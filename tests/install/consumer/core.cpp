// The installed core library: the interface contract, image validation and the
// content records.
#include <memory>
#include <string>

#include <zu/core.hpp>

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
  return message.content.size() == 2 && message.content[1].index() == 10 ? 0 : 1;
}
