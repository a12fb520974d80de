#include "archive_fixture.hpp"

#include <dirent.h>

#include <algorithm>
#include <sstream>

namespace zu_test {
namespace {

std::string doc(const std::shared_ptr<const zu::json::Document>& document) {
  return document ? document->root().dump() : "-";
}

std::string opt(const std::optional<std::string>& text) { return text ? "'" + *text + "'" : "-"; }

std::string list(const std::vector<std::string>& items) {
  std::string out = "[";
  for (const std::string& item : items) out += "'" + item + "',";
  return out + "]";
}

struct BlockText {
  std::ostringstream& out;
  void operator()(const zu::Text& b) const { out << "text '" << b.text << "'"; }
  void operator()(const zu::Refusal& b) const { out << "refusal '" << b.text << "' '" << b.detail << "'"; }
  void operator()(const zu::ToolCall& b) const {
    out << "call " << b.id << ' ' << b.name << ' ' << static_cast<int>(b.kind) << " '" << b.input
        << "' " << doc(b.native) << ' ' << doc(b.arguments);
  }
  void operator()(const zu::InvalidToolCall& b) const {
    out << "invalid " << b.id << ' ' << b.name << ' ' << static_cast<int>(b.kind) << " '" << b.input
        << "' " << doc(b.native) << " '" << b.error << "' " << b.error_code;
  }
  void operator()(const zu::Thinking& b) const { out << "thinking '" << b.text << "' " << opt(b.signature); }
  void operator()(const zu::RedactedThinking& b) const { out << "redacted '" << b.data << "'"; }
  void operator()(const zu::ServerToolResult& b) const {
    out << "server " << b.call_id << ' ' << b.name << ' ' << doc(b.content);
  }
  void operator()(const zu::ToolResult& b) const {
    out << "result " << b.call_id << " '" << b.content << "' " << b.is_error;
    if (b.host) out << " host '" << b.host->label << "' '" << b.host->note << "' " << b.host->flag_a << b.host->flag_b;
  }
  void operator()(const zu::Reasoning& b) const {
    out << "reasoning " << b.id << ' ' << list(b.summary) << ' ' << opt(b.encrypted_content) << ' '
        << opt(b.status) << ' ' << list(b.content);
  }
  void operator()(const zu::Opaque& b) const { out << "opaque " << b.type << ' ' << doc(b.payload); }
  void operator()(const zu::Image& b) const {
    out << "image " << b.media_type << ' ' << (b.data ? "'" + *b.data + "'" : "-") << ' '
        << static_cast<int>(b.detail);
  }
  void operator()(const zu::Thought& b) const { out << "thought " << list(b.summary) << ' ' << opt(b.signature); }
};

}  // namespace

std::string render(const std::vector<zu::Message>& messages) {
  std::ostringstream out;
  for (const zu::Message& message : messages) {
    out << "message '" << message.id << "' role " << static_cast<int>(message.role) << '\n';
    for (const zu::ContentBlock& block : message.content) {
      out << "  ";
      std::visit(BlockText{out}, block);
      out << '\n';
    }
    out << "  native " << doc(message.native) << '\n';
    if (const auto& replay = message.replay) {
      out << "  replay valid " << replay->valid << " stop " << static_cast<int>(replay->stop_kind)
          << " content " << hex(replay->content_digest) << '\n';
      const zu::NativeContext& c = *replay->context;
      out << "  context " << static_cast<int>(c.family) << ' ' << c.model << ' ' << c.path << ' '
          << c.history_count << ' ' << (c.policy ? c.policy->identity() : "-") << " descriptor "
          << hex(c.descriptor_digest) << " prefix " << hex(c.prefix_digest) << " flags " << c.bound
          << c.history_replayable << c.can_issue_replays << " tools " << list(c.client_tools)
          << " calls";
      for (const auto& [id, name] : c.server_tool_calls) out << ' ' << id << '=' << name;
      out << '\n';
    }
  }
  return out.str();
}

std::vector<zu::Message> conversation(Family family,
                                      const zu::descriptor::ValidatedDescriptor& descriptor) {
  std::vector<zu::Message> history{user_text("What is the weather in Paris?")};
  zu::Message first = reply(family, "r1", "Let me look.");
  first.content.push_back(zu::ToolCall{"call_1", "get_weather", zu::ToolCallKind::client,
                                       shared_document(R"({"city":"Paris"})"), "", nullptr});
  history.push_back(issued(std::move(first), family_context(family, descriptor, history),
                           zu::StopKind::tool_use));
  history.push_back(tool_answer("call_1", "sunny, 21 degrees"));
  history.push_back(issued(reply(family, "r2", "It is sunny."),
                           family_context(family, descriptor, history)));
  history.push_back(user_text("And tomorrow?"));
  history.push_back(issued(reply(family, "r3", "Rain is likely."),
                           family_context(family, descriptor, history)));
  return history;
}

zu::Message every_block() {
  zu::Message message{"m-all", zu::Role::assistant, {}, nullptr,
                      shared_document(R"({"id":"x","id":"y"})")};
  message.content = {
      zu::Text{"hello"},
      zu::Refusal{"no", "policy"},
      zu::ToolCall{"c1", "search", zu::ToolCallKind::server, shared_document(R"({"q":"x"})"),
                   "raw input", shared_document(R"({"a":1,"a":2})")},
      zu::InvalidToolCall{"c2", "bad", zu::ToolCallKind::other, "broken", 3, "{not json",
                          shared_document(R"([true,{"k":null,"k":0}])")},
      zu::Thinking{"thinking", "sig"},
      zu::RedactedThinking{std::string("opaque\0bytes", 12)},
      zu::ServerToolResult{"c1", "search", shared_document(R"({"r":[1,2],"r":3})")},
      zu::ToolResult{"c3", "result", true, zu::ToolResultHostMetadata{"label", "note", true, false}},
      zu::ToolResult{"c4", "", false, std::nullopt},
      zu::Reasoning{"rs1", {"s1", "s2"}, "enc", "done", {"c"}},
      zu::Reasoning{"rs2", {}, std::nullopt, std::nullopt, {}},
      zu::Opaque{"custom", shared_document(R"({"x":{"y":null},"x":1.5})")},
      zu::Opaque{"empty", nullptr},
      zu::Image{"image/png", std::make_shared<const std::string>("\x89PNG\r\n"), zu::ImageDetail::high},
      zu::Image{"image/jpeg", nullptr, zu::ImageDetail::original},
      zu::Thought{{"t1"}, "sig2"},
      zu::Thought{{}, std::nullopt},
  };
  return message;
}

ArchiveTest::ArchiveTest() : descriptor_(make_descriptor(Family::messages)) {
  zu::archive_fs::testing::make_directory(scratch_.at("keys"));
}

ArchiveResult ArchiveTest::provision(zu::NativeArchiveLimits limits, std::string owner) const {
  return zu::NativeArchive::provision(store_path(), key_path(), std::move(owner), descriptor_, limits);
}

ArchiveResult ArchiveTest::open(zu::NativeArchiveLimits limits, std::string owner) const {
  return zu::NativeArchive::open(store_path(), key_path(), std::move(owner), descriptor_, limits);
}

ArchivePtr ArchiveTest::made(zu::NativeArchiveLimits limits) {
  ArchiveResult result = provision(limits);
  EXPECT_TRUE(std::holds_alternative<ArchivePtr>(result));
  return std::holds_alternative<ArchivePtr>(result) ? std::get<ArchivePtr>(result) : nullptr;
}

std::vector<std::string> ArchiveTest::entries() const {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(store_path().c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace zu_test
