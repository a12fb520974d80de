// Making a native context over a long conversation: the cost must stay linear in the
// history, so a context over 1,000 history messages may cost at most 11 times one over
// 100. The bytes the binding hashes per second are set against OpenSSL's one-shot
// SHA-256 of as many bytes, in the same run.
//
//   cmake --preset release && cmake --build --preset release --target zu_native_bench
//   build/release/bench/zu_native_bench
//
// The conversations are built turn by turn the way a codec builds them, so every reply
// carries a replay token issued at its position and every binding proves them all:
//   user question (about 300 bytes), assistant reply with reasoning and a tool call,
//   tool result (about 500 bytes), assistant answer with reasoning (about 1 KiB of
//   text), repeated.
// "messages" replies carry thinking blocks with signatures; "responses" replies also
// carry the provider's output items as a native JSON array.
//
// bytes_per_second counts every byte fed to a digest while the context is made: the
// descriptor and configuration digests, each message's content digest and each prefix
// step. The per_message counter is the time per history message.
#include <benchmark/benchmark.h>

#include <openssl/evp.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "native/configuration_digest.hpp"
#include "native/content_digest.hpp"
#include "native/descriptor_digest.hpp"
#include "zu/core.hpp"
#include "zu/json.hpp"

namespace {

using Family = zu::NativeContext::Family;

constexpr zu::descriptor::CodecResources kResources{.max_digest_bytes = 1u << 24,
                                                    .max_json_depth = 64,
                                                    .max_json_entries = 1u << 16,
                                                    .max_message_count = 4096,
                                                    .max_block_count = 1u << 16};

const std::string kProse =
    "The forecast for Oslo calls for light rain in the morning, clearing by noon, with "
    "temperatures between four and nine degrees. Winds from the south-west at twelve "
    "kilometres per hour will ease in the evening; tomorrow looks drier and colder. ";

std::string prose(std::size_t bytes) {
  std::string out;
  while (out.size() < bytes) out += kProse;
  out.resize(bytes);
  return out;
}

std::shared_ptr<const zu::json::Document> document(const std::string& text) {
  auto parsed = zu::json::parse(text, {.max_bytes = 1u << 22, .max_depth = 64});
  return std::make_shared<const zu::json::Document>(
      std::move(std::get<zu::json::Document>(parsed)));
}

std::string quoted(const std::string& text) { return '"' + text + '"'; }

zu::descriptor::ValidatedDescriptor descriptor(Family family) {
  const bool messages = family == Family::messages;
  return zu::descriptor::ValidatedDescriptor({
      .revision = 1,
      .id = messages ? "bench-messages" : "bench-responses",
      .family = messages ? "anthropic.messages" : "openai.responses",
      .base_url = "https://api.example.test",
      .paths = {"/v1/send", "/v1/stream"},
      .request_model_member = "model",
      .request_messages_member = messages ? "messages" : "input",
      .request_stream_member = "stream",
      .max_output_tokens_member = "max_tokens",
      .usage_path = {"usage"},
      .headers = {{"X-Team", "bench"}, {"anthropic-version", "2023-06-01"}},
      .stop_mappings = {{"end_turn", zu::StopKind::turn_ended}, {"tool_use", zu::StopKind::tool_use}},
      .policy = std::make_shared<const zu::descriptor::DescriptorPolicy>("bench.policy.v1",
                                                                          kResources),
  });
}

const std::string kSchema =
    R"({"type":"object","properties":{"city":{"type":"string","description":"City name"},)"
    R"("days":{"type":"integer","minimum":1,"maximum":14}},"required":["city"]})";

// Conversation is one family's request template and its history, built turn by turn.
struct Conversation {
  Family family;
  zu::descriptor::ValidatedDescriptor descriptor;
  zu::messages::Request messages;
  zu::responses::Request responses;
  std::vector<zu::Message> history;

  std::shared_ptr<const zu::NativeContext> context(std::size_t count) const {
    const std::vector<zu::Message> part(history.begin(),
                                        history.begin() + static_cast<std::ptrdiff_t>(count));
    return context_over(part);
  }

  std::shared_ptr<const zu::NativeContext> context_over(std::vector<zu::Message> part) const {
    if (family == Family::messages) {
      zu::messages::Request request = messages;
      request.messages = std::move(part);
      return zu::CodecAccess::context(descriptor, request, {}, true);
    }
    zu::responses::Request request = responses;
    request.input = std::move(part);
    return zu::CodecAccess::context(descriptor, request, {}, true);
  }

  zu::Message assistant(int turn, bool final_answer) const {
    const std::string n = std::to_string(turn) + (final_answer ? "b" : "a");
    const std::string reasoning = prose(final_answer ? 400 : 600);
    const std::string text = prose(final_answer ? 1000 : 120);
    const std::string arguments = R"({"city":"Oslo","days":)" + std::to_string(turn % 14 + 1) + "}";
    zu::Message message{"msg_" + n, zu::Role::assistant, {}, nullptr, nullptr};
    if (family == Family::messages) {
      message.content.push_back(zu::Thinking{reasoning, std::string(300, 'S')});
    } else {
      message.content.push_back(
          zu::Reasoning{"rs_" + n, {reasoning}, std::string(400, 'E'), std::nullopt, {}});
    }
    message.content.push_back(zu::Text{text});
    if (!final_answer)
      message.content.push_back(zu::ToolCall{"call_" + n, "get_weather", zu::ToolCallKind::client,
                                             document(arguments), "", nullptr});
    if (family == Family::responses) {
      std::string items = R"([{"type":"reasoning","id":"rs_)" + n +
                          R"(","summary":[{"type":"summary_text","text":)" + quoted(reasoning) +
                          R"(}],"encrypted_content":")" + std::string(400, 'E') + R"("},)" +
                          R"({"type":"message","id":"msg_)" + n +
                          R"(","role":"assistant","content":[{"type":"output_text","text":)" +
                          quoted(text) + R"(,"annotations":[]}]})";
      if (!final_answer)
        items += R"(,{"type":"function_call","call_id":"call_)" + n +
                 R"(","name":"get_weather","arguments":)" + quoted("{}") + "}";
      message.native = document(items + "]");
    }
    return message;
  }

  // grow extends the history to at least `count` messages, issuing each reply against
  // the context of the history in front of it.
  void grow(std::size_t count) {
    const zu::StopReason stop{zu::StopKind::turn_ended, {}};
    for (int turn = 0; history.size() < count; ++turn) {
      history.push_back({"", zu::Role::user, {zu::Text{prose(300)}}, nullptr, nullptr});
      for (bool final_answer : {false, true}) {
        zu::Message reply = assistant(turn, final_answer);
        reply.replay = zu::CodecAccess::replay(context_over(history), reply, &stop, true);
        history.push_back(std::move(reply));
        if (!final_answer)
          history.push_back({"", zu::Role::tool,
                             {zu::ToolResult{"call_" + std::to_string(turn) + "a", prose(500),
                                             false, std::nullopt}},
                             nullptr, nullptr});
      }
    }
  }
};

Conversation& conversation(Family family) {
  static std::map<Family, Conversation> all;
  auto found = all.find(family);
  if (found != all.end()) return found->second;
  Conversation made{family, descriptor(family), {}, {}, {}};
  made.messages = {.model = "msg-large", .system = prose(800)};
  made.messages.tools = {{"get_weather", "Weather by city", document(kSchema), "", std::nullopt}};
  made.responses = {.model = "resp-large", .instructions = prose(800)};
  made.responses.tools = {{"get_weather", "Weather by city", document(kSchema), true, std::nullopt}};
  made.grow(1000);
  return all.emplace(family, std::move(made)).first->second;
}

// stream_length is the exact length of a digest stream: the smallest budget under which
// `digest_under` succeeds.
std::uint64_t stream_length(const std::function<bool(const zu::descriptor::CodecResources&)>& digest_under) {
  std::uint64_t low = 0, high = kResources.max_digest_bytes;
  while (low < high) {
    const std::uint64_t middle = low + (high - low) / 2;
    zu::descriptor::CodecResources resources = kResources;
    resources.max_digest_bytes = middle;
    if (digest_under(resources)) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return low;
}

// bytes_hashed counts what making a context over the first `count` messages feeds.
std::uint64_t bytes_hashed(const Conversation& c, std::size_t count) {
  const zu::digest::ContentLabels labels =
      c.family == Family::messages
          ? zu::digest::ContentLabels{"zu.messages.content.v1", "zu.messages.output.v1"}
          : zu::digest::ContentLabels{"zu.responses.content.v1", "zu.responses.output.v1"};
  const std::uint64_t prefix_label = c.family == Family::messages ? 21 : 22;
  auto with = [&](const zu::descriptor::CodecResources& resources) {
    auto fields_policy = std::make_shared<const zu::descriptor::DescriptorPolicy>(
        c.descriptor.policy()->identity(), resources);
    return zu::descriptor::ValidatedDescriptor({c.descriptor.revision(), c.descriptor.id(),
                                                c.descriptor.family(), c.descriptor.base_url(),
                                                {c.descriptor.path(false), c.descriptor.path(true)},
                                                c.descriptor.request_model_member(),
                                                c.descriptor.request_messages_member(),
                                                c.descriptor.request_stream_member(),
                                                c.descriptor.max_output_tokens_member(),
                                                c.descriptor.usage_path(), c.descriptor.headers(),
                                                c.descriptor.stop_mappings(), fields_policy});
  };
  zu::Digest out{};
  std::uint64_t total = stream_length([&](const auto& r) {
    return zu::native::descriptor_digest(with(r), out);
  });
  total += stream_length([&](const auto& r) {
    return c.family == Family::messages
               ? zu::native::configuration_digest(with(r), c.messages, {}, out)
               : zu::native::configuration_digest(with(r), c.responses, {}, out);
  });
  for (std::size_t i = 0; i < count; ++i)
    total += stream_length(
        [&](const auto& r) { return zu::digest::content_digest(c.history[i], labels, r, out); });
  return total + count * (8 + prefix_label + 8 + 32 + 32);
}

void BM_NativeContext(benchmark::State& state, Family family) {
  const Conversation& c = conversation(family);
  const auto count = static_cast<std::size_t>(state.range(0));
  const std::vector<zu::Message> part(c.history.begin(),
                                      c.history.begin() + static_cast<std::ptrdiff_t>(count));
  if (const auto check = c.context_over(part); !check->bound || !check->history_replayable) {
    state.SkipWithError("the history does not bind");
    return;
  }
  const auto bytes = static_cast<std::int64_t>(bytes_hashed(c, count));
  zu::messages::Request messages = c.messages;
  zu::responses::Request responses = c.responses;
  messages.messages = part;
  responses.input = part;
  for (auto _ : state) {
    auto context = family == Family::messages
                       ? zu::CodecAccess::context(c.descriptor, messages, {}, true)
                       : zu::CodecAccess::context(c.descriptor, responses, {}, true);
    benchmark::DoNotOptimize(context);
  }
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["per_message"] = benchmark::Counter(
      static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate |
                                      benchmark::Counter::kInvert);
  state.counters["hashed_bytes"] = static_cast<double>(bytes);
}

// The baseline: SHA-256 of as many bytes as the context over the same history hashes,
// in one call.
void BM_PlainSha256(benchmark::State& state, Family family) {
  const Conversation& c = conversation(family);
  const std::uint64_t bytes = bytes_hashed(c, static_cast<std::size_t>(state.range(0)));
  const std::string buffer(bytes, 'x');
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  for (auto _ : state) {
    if (EVP_Digest(buffer.data(), buffer.size(), digest, &length, EVP_sha256(), nullptr) != 1)
      state.SkipWithError("EVP_Digest failed");
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}

BENCHMARK_CAPTURE(BM_NativeContext, messages, Family::messages)
    ->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PlainSha256, messages, Family::messages)
    ->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_NativeContext, responses, Family::responses)
    ->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PlainSha256, responses, Family::responses)
    ->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
