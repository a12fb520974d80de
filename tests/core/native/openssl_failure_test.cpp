// OpenSSL failures only clear the writer's ok flag, and a failed digest leaves its
// output untouched. This program defines the EVP functions the writer calls, so the
// writer's objects (linked in statically) bind to them; each forwards to libcrypto's own
// unless the test asks it to fail.
//
// On Linux the program's definitions come before the shared libcrypto's and dlsym finds
// the next ones. Windows has no such interposition and links libcrypto statically, so
// there the program is linked with ld's --wrap for these functions (see CMakeLists.txt):
// the writer's calls reach the __wrap_ definitions and __real_ names libcrypto's own.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#if !defined(_WIN32)
#include <dlfcn.h>
#endif

#include <string>

#include "native/content_digest.hpp"
#include "native/prefix_step.hpp"

namespace {

enum class Failing { nothing, context_new, init, update, final_call, short_final };
Failing g_failing = Failing::nothing;

}  // namespace

#if defined(_WIN32)
#define ZU_HOOK(name) __wrap_##name
#define ZU_NEXT(type, name) &__real_##name
extern "C" {
EVP_MD_CTX* __real_EVP_MD_CTX_new(void);
int __real_EVP_DigestInit_ex(EVP_MD_CTX* context, const EVP_MD* type, ENGINE* engine);
int __real_EVP_DigestUpdate(EVP_MD_CTX* context, const void* data, size_t size);
int __real_EVP_DigestFinal_ex(EVP_MD_CTX* context, unsigned char* md, unsigned int* size);
}
#else
#define ZU_HOOK(name) name
#define ZU_NEXT(type, name) real<type>(#name)
namespace {
template <class Function>
Function real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}
}  // namespace
#endif

extern "C" {

EVP_MD_CTX* ZU_HOOK(EVP_MD_CTX_new)(void) {
  if (g_failing == Failing::context_new) return nullptr;
  static auto next = ZU_NEXT(EVP_MD_CTX* (*)(), EVP_MD_CTX_new);
  return next();
}

int ZU_HOOK(EVP_DigestInit_ex)(EVP_MD_CTX* context, const EVP_MD* type, ENGINE* engine) {
  if (g_failing == Failing::init) return 0;
  static auto next = ZU_NEXT(int (*)(EVP_MD_CTX*, const EVP_MD*, ENGINE*), EVP_DigestInit_ex);
  return next(context, type, engine);
}

int ZU_HOOK(EVP_DigestUpdate)(EVP_MD_CTX* context, const void* data, size_t size) {
  if (g_failing == Failing::update) return 0;
  static auto next = ZU_NEXT(int (*)(EVP_MD_CTX*, const void*, size_t), EVP_DigestUpdate);
  return next(context, data, size);
}

int ZU_HOOK(EVP_DigestFinal_ex)(EVP_MD_CTX* context, unsigned char* md, unsigned int* size) {
  if (g_failing == Failing::final_call) return 0;
  static auto next =
      ZU_NEXT(int (*)(EVP_MD_CTX*, unsigned char*, unsigned int*), EVP_DigestFinal_ex);
  const int result = next(context, md, size);
  if (g_failing == Failing::short_final) *size = 20;
  return result;
}

}  // extern "C"

namespace {

class OpenSslFailure : public ::testing::TestWithParam<Failing> {
 protected:
  void TearDown() override { g_failing = Failing::nothing; }
};

TEST_P(OpenSslFailure, FailsTheDigestAndLeavesTheOutputAlone) {
  const zu::descriptor::CodecResources resources{.max_digest_bytes = 1u << 20,
                                                 .max_json_depth = 8,
                                                 .max_json_entries = 8,
                                                 .max_message_count = 0,
                                                 .max_block_count = 0};
  const zu::Message message{"m", zu::Role::assistant, {zu::Text{"hello"}}, nullptr, nullptr};
  zu::Digest out;
  out.fill(0x77);
  const zu::Digest before = out;

  ASSERT_TRUE(zu::digest::content_digest(message, {"c", "o"}, resources, out));
  const zu::Digest good = out;
  out = before;

  g_failing = GetParam();
  EXPECT_FALSE(zu::digest::content_digest(message, {"c", "o"}, resources, out));
  EXPECT_EQ(out, before);
  EXPECT_FALSE(zu::digest::prefix_step("p", 0, good, resources, out));
  EXPECT_EQ(out, before);

  g_failing = Failing::nothing;
  EXPECT_TRUE(zu::digest::content_digest(message, {"c", "o"}, resources, out));
  EXPECT_EQ(out, good);
}

std::string call_name(const ::testing::TestParamInfo<Failing>& info) {
  switch (info.param) {
    case Failing::context_new: return "ContextNew";
    case Failing::init: return "DigestInit";
    case Failing::update: return "DigestUpdate";
    case Failing::final_call: return "DigestFinal";
    case Failing::short_final: return "DigestFinalShortOutput";
    case Failing::nothing: break;
  }
  return "Nothing";
}

INSTANTIATE_TEST_SUITE_P(EachCall, OpenSslFailure,
                         ::testing::Values(Failing::context_new, Failing::init, Failing::update,
                                           Failing::final_call, Failing::short_final),
                         call_name);

}  // namespace
