#include "document.hpp"

#include <new>

namespace vantrel::detail {

std::shared_ptr<yyjson_mut_doc> new_document() {
  yyjson_mut_doc* doc = yyjson_mut_doc_new(nullptr);
  if (doc == nullptr) throw std::bad_alloc();
  // The shared pointer frees the document itself if allocating its control block fails.
  return std::shared_ptr<yyjson_mut_doc>(doc, yyjson_mut_doc_free);
}

yyjson_mut_val* checked(yyjson_mut_val* node) {
  if (node == nullptr) throw std::bad_alloc();
  return node;
}

}  // namespace vantrel::detail
