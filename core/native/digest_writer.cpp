// The digest writer's dealings with OpenSSL: starting, feeding and finishing the hash.
#include "native/digest_writer.hpp"

namespace zu::digest {

Writer::Writer(const descriptor::CodecResources& resources) noexcept
    : resources_(resources), context_(EVP_MD_CTX_new()) {
  ok_ = context_ != nullptr && EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) == 1;
}

Writer::~Writer() = default;

void Writer::update(const void* data, std::size_t size) noexcept {
  if (ok_ && EVP_DigestUpdate(context_.get(), data, size) != 1) ok_ = false;
}

void Writer::flush() noexcept {
  if (used_ != 0) update(buffer_, used_);
  used_ = 0;
}

bool Writer::finish(Digest& out) noexcept {
  flush();
  const bool was_ok = ok_;
  ok_ = false;
  if (!was_ok) return false;
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context_.get(), md, &length) != 1 || length != out.size()) return false;
  std::memcpy(out.data(), md, out.size());
  return true;
}

}  // namespace zu::digest
