// A first tour of the libraries, in the order a host meets them in one conversation turn:
//
//   1. strict JSON: a provider reply with a repeated member is refused, with its pointer,
//      and written back under a byte budget;
//   2. native replay: a reply's thinking may go back to the provider that produced it,
//      at its place in the conversation, and nowhere else;
//   3. MCP: a tool list from a server, and the model's arguments checked against the
//      tool's schema;
//   4. usage: tokens reserved before the call and settled after it against a limit.
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>

#include <vantrel/mcp_types.hpp>
#include <zu/core.hpp>
#include <zu/json.hpp>

namespace {

const zu::json::Limits kLimits{.max_bytes = 4096, .max_depth = 8};

std::shared_ptr<const zu::json::Document> parse_shared(const std::string& text) {
  auto parsed = zu::json::parse(text, kLimits);
  return std::make_shared<const zu::json::Document>(std::get<zu::json::Document>(std::move(parsed)));
}

void strict_json() {
  std::puts("== 1. strict JSON");
  const std::string text = R"({"model":"m-1","messages":[{"role":"user","content":"hi"},)"
                           R"({"role":"assistant","content":"hello","content":"again"}]})";
  auto parsed = zu::json::parse(text, kLimits);
  const auto& error = std::get<zu::json::ParseError>(parsed);
  std::printf("refused: %s at %s\n", error.message.c_str(), error.pointer.c_str());

  // A reader that tolerates repeated names can still use the document: get() returns
  // the first of the equal-named members.
  const zu::json::Value root = error.document.root();
  std::printf("the first \"content\" of message 1 is %s\n",
              root.get("messages").at(1).get("content").dump().c_str());

  for (std::uint64_t budget : {std::uint64_t{64}, std::uint64_t{4096}}) {
    std::string out;
    zu::json::BoundedWriter writer({.max_bytes = budget, .max_depth = 8}, &out);
    writer.value(root, 0);
    std::printf("written under a budget of %4llu bytes: %s\n", static_cast<unsigned long long>(budget),
                writer.ok() ? out.c_str() : "refused (nothing usable)");
  }
}

void native_replay() {
  std::puts("\n== 2. native replay");
  auto policy = std::make_shared<const zu::descriptor::DescriptorPolicy>(
      "demo.policy.v1", zu::descriptor::CodecResources{.max_digest_bytes = 1 << 20,
                                                       .max_json_depth = 16,
                                                       .max_json_entries = 256,
                                                       .max_message_count = 64,
                                                       .max_block_count = 256});
  const zu::descriptor::ValidatedDescriptor descriptor({.revision = 1,
                                                        .id = "demo-provider",
                                                        .family = "anthropic.messages",
                                                        .base_url = "https://api.example.test",
                                                        .paths = {"/v1/messages", "/v1/messages"},
                                                        .policy = policy});
  zu::messages::Request request{.model = "model-large", .system = "Answer briefly."};
  request.tools.push_back({.name = "search",
                           .description = "Search the web",
                           .parameters = parse_shared(R"({"type":"object","properties":{"q":{"type":"string"}}})")});
  request.messages.push_back({"", zu::Role::user, {zu::Text{"What is the capital of France?"}}, nullptr, nullptr});

  // Turn 1: the codec builds the request's context, sends it, decodes the reply (with
  // a signed thinking block) and issues its replay token.
  const auto first = zu::CodecAccess::context(descriptor, request, {}, false);
  zu::Message reply{"msg_01", zu::Role::assistant,
                    {zu::Thinking{"The user asks a geography question.", "sig-abc"},
                     zu::Text{"Paris."}},
                    nullptr, nullptr};
  const zu::StopReason stop{};
  reply.replay = zu::CodecAccess::replay(first, reply, &stop, true);
  std::printf("turn 1: context bound %s, reply's replay token valid %s\n", first->bound ? "yes" : "no",
              reply.replay->valid ? "yes" : "no");

  // Turn 2: the reply goes back into the history; its thinking may be sent back.
  request.messages.push_back(reply);
  request.messages.push_back({"", zu::Role::user, {zu::Text{"And of Italy?"}}, nullptr, nullptr});
  const auto second = zu::CodecAccess::context(descriptor, request, {}, false);
  std::printf("turn 2: history replayable %s\n", second->history_replayable ? "yes" : "no");

  // Edit the first question: the reply no longer follows the conversation it was
  // produced in, so its native material must not be replayed.
  auto edited = request;
  edited.messages[0].content[0] = zu::Text{"What is the capital of Spain?"};
  const auto tampered = zu::CodecAccess::context(descriptor, edited, {}, false);
  std::printf("after editing an earlier message: history replayable %s\n",
              tampered->history_replayable ? "yes" : "no");

  // The same conversation sent with other tools is another configuration.
  auto retooled = request;
  retooled.tools[0].description = "Search the encyclopedia";
  const auto other_tools = zu::CodecAccess::context(descriptor, retooled, {}, false);
  std::printf("with a changed tool definition: history replayable %s\n",
              other_tools->history_replayable ? "yes" : "no");
}

void mcp_tools() {
  std::puts("\n== 3. MCP tools");
  const auto page = vantrel::mcp::ListToolsPage::from_json(vantrel::json::parse(
      R"({"tools":[{"name":"search","description":"Search the web","inputSchema":)"
      R"({"type":"object","required":["q"],"additionalProperties":false,"properties":)"
      R"({"q":{"type":"string"},"limit":{"type":"integer"}}}}]})"));
  const auto& tool = page.tools.at(0);
  std::printf("server offers %zu tool: %s\n", page.tools.size(), tool.name.c_str());
  for (const char* arguments : {R"({"q":"capital of Italy","limit":5})", R"({"q":"capital of Italy","limit":2.5})",
                                R"({"limit":5})", R"({"q":"Rome","lang":"it"})"}) {
    try {
      vantrel::mcp::validate_json_value(vantrel::json::parse(arguments), tool.input_schema, "search arguments", "");
      std::printf("  %s: accepted\n", arguments);
    } catch (const std::invalid_argument& e) {
      std::printf("  %s: refused: %s\n", arguments, e.what());
    }
  }
}

void usage_bank() {
  std::puts("\n== 4. usage");
  vantrel::UsageAccumulator bank;
  constexpr std::uint64_t kLimit = 1000;
  std::printf("reserve 800 of %llu: %s\n", static_cast<unsigned long long>(kLimit),
              bank.try_reserve(800, kLimit) ? "granted" : "refused");
  std::printf("reserve 300 more: %s\n", bank.try_reserve(300, kLimit) ? "granted" : "refused");
  zu::Usage report;
  report.input_total = zu::UsageCounter{412};
  report.output_total = zu::UsageCounter{96};
  report.state = zu::UsageState::final;
  bank.settle_reservation(800, report);
  std::printf("after the call settled: %llu tokens charged or reserved\n",
              static_cast<unsigned long long>(bank.total_tokens_wide()));
}

}  // namespace

int main() {
  strict_json();
  native_replay();
  mcp_tools();
  usage_bank();
  return 0;
}
