// The content digest of an assistant message whose native document is 1 MiB of
// provider JSON, against OpenSSL's one-shot SHA-256 of that document's text. The
// digest walks the parsed document (tags, lengths, sorted members) instead of hashing
// text, and the target is at most twice the baseline's time.
//
//   cmake --preset release && cmake --build --preset release --target zu_digest_bench
//   build/release/bench/zu_digest_bench
//
// Three documents: provider output items with texts of realistic length (the target's
// case), the same items with short texts (mostly structure), and an array of small
// numbers, the shape with the most framing per byte of text, to show where the walk
// costs most.
#include <benchmark/benchmark.h>

#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "native/content_digest.hpp"
#include "zu/core.hpp"
#include "zu/json.hpp"

namespace {

constexpr std::size_t kTarget = 1u << 20;

const std::string kProse =
    "The forecast for Oslo calls for light rain in the morning, clearing by noon, with "
    "temperatures between four and nine degrees. Winds from the south-west at twelve "
    "kilometres per hour will ease in the evening; tomorrow looks drier and colder. ";

std::string repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// Output items the way a responses-style provider returns them: messages with prose,
// reasoning items with a summary and encrypted content, and function calls whose
// arguments are JSON text. `scale` sets the length of the texts: 1 gives items of a few
// hundred bytes, so the document is mostly structure; 4 gives texts of the size real
// answers and reasoning blobs have.
std::string provider_document(int scale) {
  const std::string answer = repeat(kProse, 2 * scale);
  const std::string summary = repeat(kProse, scale);
  const std::string encrypted = "gAAAAABn" + std::string(static_cast<std::size_t>(160 * scale), 'x');
  std::string text = "[";
  for (int i = 0; text.size() < kTarget; ++i) {
    const std::string n = std::to_string(i);
    if (i != 0) text += ',';
    switch (i % 3) {
      case 0:
        text += R"({"type":"message","id":"msg_)" + n +
                R"(","status":"completed","role":"assistant","content":[{"type":"output_text","text":")" +
                answer + R"(","annotations":[]}]})";
        break;
      case 1:
        text += R"({"type":"reasoning","id":"rs_)" + n +
                R"(","summary":[{"type":"summary_text","text":")" + summary +
                R"("}],"encrypted_content":")" + encrypted + R"("})";
        break;
      default:
        text += R"({"type":"function_call","id":"fc_)" + n + R"(","call_id":"call_)" + n +
                R"(","name":"get_weather","arguments":"{\"city\":\"Oslo\",\"days\":3}","status":"completed"})";
        break;
    }
  }
  return text + "]";
}

// An array of small integers and reals: sixteen fed bytes for every two or three of
// text.
std::string number_document() {
  std::string text = "[";
  for (int i = 0; text.size() < kTarget; ++i) {
    if (i != 0) text += ',';
    text += i % 4 == 3 ? std::to_string(i % 10) + ".5" : std::to_string(i % 100);
  }
  return text + "]";
}

struct Fixture {
  std::string text;
  zu::Message message;
};

Fixture make_fixture(std::string text) {
  auto parsed = zu::json::parse(text, {.max_bytes = 1u << 22, .max_depth = 64});
  Fixture fixture{std::move(text), {}};
  fixture.message.id = "resp_1";
  fixture.message.content.push_back(zu::Text{"The forecast for Oslo."});
  fixture.message.native =
      std::make_shared<const zu::json::Document>(std::move(std::get<zu::json::Document>(parsed)));
  return fixture;
}

const Fixture& provider_output() {
  static const Fixture fixture = make_fixture(provider_document(4));
  return fixture;
}

const Fixture& small_items() {
  static const Fixture fixture = make_fixture(provider_document(1));
  return fixture;
}

const Fixture& numbers() {
  static const Fixture fixture = make_fixture(number_document());
  return fixture;
}

constexpr zu::descriptor::CodecResources kResources{.max_digest_bytes = 1u << 26,
                                                    .max_json_depth = 64,
                                                    .max_json_entries = 1u << 20,
                                                    .max_message_count = 0,
                                                    .max_block_count = 0};

void content_digest(benchmark::State& state, const Fixture& fixture) {
  zu::Digest digest{};
  for (auto _ : state) {
    const bool ok = zu::digest::content_digest(
        fixture.message, {"zu.responses.content.v1", "zu.responses.output.v1"}, kResources,
        digest);
    if (!ok) state.SkipWithError("content digest failed");
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fixture.text.size()));
}

void sha256_of_text(benchmark::State& state, const Fixture& fixture) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  for (auto _ : state) {
    if (EVP_Digest(fixture.text.data(), fixture.text.size(), digest, &length, EVP_sha256(),
                   nullptr) != 1)
      state.SkipWithError("EVP_Digest failed");
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fixture.text.size()));
}

void BM_ContentDigest_ProviderOutput(benchmark::State& state) {
  content_digest(state, provider_output());
}
void BM_Sha256OfText_ProviderOutput(benchmark::State& state) {
  sha256_of_text(state, provider_output());
}
void BM_ContentDigest_SmallItems(benchmark::State& state) { content_digest(state, small_items()); }
void BM_Sha256OfText_SmallItems(benchmark::State& state) { sha256_of_text(state, small_items()); }
void BM_ContentDigest_NumberArray(benchmark::State& state) { content_digest(state, numbers()); }
void BM_Sha256OfText_NumberArray(benchmark::State& state) { sha256_of_text(state, numbers()); }

BENCHMARK(BM_Sha256OfText_ProviderOutput)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ContentDigest_ProviderOutput)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sha256OfText_SmallItems)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ContentDigest_SmallItems)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sha256OfText_NumberArray)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ContentDigest_NumberArray)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
