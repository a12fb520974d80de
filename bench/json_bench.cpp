// zu::json::parse against the raw reader it wraps (yyjson_read of the same bytes, no
// duplicate check, no limits) and against nlohmann::json::parse as a well-known peer;
// BoundedWriter::value against yyjson_val_write of the same document.
//
// Three generated corpora: a ~1 MiB conversation with tool calls and nested arguments,
// 100,000 small objects, and a deeply nested tool schema. Run from a release build:
//   build/release/bench/json_bench --benchmark_min_time=1
#include <benchmark/benchmark.h>
#include <yyjson.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <variant>

#include <zu/json.hpp>

namespace {

std::string conversation_corpus() {
  std::mt19937 rng(7);
  const char* words[] = {"the", "model", "tool", "returns", "a", "list", "of", "results", "with",
                         "structured", "arguments", "caf\xC3\xA9", "\xE2\x82\xAC", "query", "search"};
  auto sentence = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) {
      if (i) s += ' ';
      s += words[rng() % 15];
    }
    return s;
  };
  std::string out = R"({"model":"provider-large-2","stream":false,"messages":[)";
  int turn = 0;
  while (out.size() < (1u << 20)) {
    if (turn) out += ',';
    out += R"({"role":"user","content":")" + sentence(40) + "\\n" + sentence(20) + R"("},)";
    out += R"({"role":"assistant","content":[{"type":"text","text":")" + sentence(60) + R"("},)";
    out += R"({"type":"tool_use","id":"call_)" + std::to_string(turn) + R"(","name":"search",)";
    out += R"("input":{"query":")" + sentence(6) + R"(","filters":{"year":[2021,2022,2023],)";
    out += R"("score":0.875,"tags":["a","b",{"nested":{"deep":[1,2,{"x":null}]}}]},"limit":25}}]},)";
    out += R"({"role":"tool","tool_call_id":"call_)" + std::to_string(turn) +
           R"(","content":")" + sentence(80) + R"(","is_error":false})";
    ++turn;
  }
  out += R"(],"tools":[{"name":"search","description":"Search","parameters":{"type":"object"}}]})";
  return out;
}

std::string small_objects_corpus() {
  std::string out = "[";
  for (int i = 0; i < 100000; ++i) {
    if (i) out += ',';
    out += R"({"id":)" + std::to_string(i) + R"(,"name":"item)" + std::to_string(i) +
           R"(","ok":true,"v":)" + std::to_string(i % 97) + ".5}";
  }
  return out + "]";
}

std::string deep_schema_corpus() {
  // One tool's input schema nested 60 objects deep, each level a realistic object schema
  // with a description, a few typed properties, an enumeration and a required list.
  std::string out;
  constexpr int kLevels = 60;
  for (int level = 0; level < kLevels; ++level) {
    const std::string n = std::to_string(level);
    out += R"({"type":"object","title":"Level )" + n +
           R"(","description":"Options that refine the query at level )" + n +
           R"(; every field is optional unless listed as required.","additionalProperties":false,)"
           R"("required":["mode","limit","child"],"properties":{)"
           R"("mode":{"type":"string","enum":["fast","exact","fuzzy","semantic"],"default":"fast"},)"
           R"("limit":{"type":"integer","minimum":1,"maximum":1000,"default":25},)"
           R"("weights":{"type":"array","items":{"type":"number","minimum":0.0,"maximum":1.0},"maxItems":8},)"
           R"("labels":{"type":"object","additionalProperties":{"type":"string","maxLength":64}},)"
           R"("enabled":{"type":"boolean"},"child":)";
  }
  out += R"({"type":"null"})";
  for (int level = 0; level < kLevels; ++level) out += "}}";
  return out;
}

const std::string& corpus(int which) {
  static const std::string corpora[] = {conversation_corpus(), small_objects_corpus(),
                                        deep_schema_corpus()};
  return corpora[which];
}

const char* corpus_name(int which) {
  static const char* names[] = {"conversation", "small_objects", "deep_schema"};
  return names[which];
}

constexpr zu::json::Limits kLimits{.max_bytes = 1u << 26, .max_depth = 512};

void BM_zu_parse(benchmark::State& state) {
  const std::string& text = corpus(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto parsed = zu::json::parse(text, kLimits);
    if (!std::holds_alternative<zu::json::Document>(parsed)) state.SkipWithError("refused");
    benchmark::DoNotOptimize(parsed);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
  state.SetLabel(corpus_name(static_cast<int>(state.range(0))));
}

void BM_yyjson_read(benchmark::State& state) {
  const std::string& text = corpus(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    yyjson_doc* doc = yyjson_read(text.data(), text.size(), 0);
    if (doc == nullptr) state.SkipWithError("refused");
    benchmark::DoNotOptimize(doc);
    yyjson_doc_free(doc);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
  state.SetLabel(corpus_name(static_cast<int>(state.range(0))));
}

void BM_nlohmann_parse(benchmark::State& state) {
  const std::string& text = corpus(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto doc = nlohmann::json::parse(text);
    benchmark::DoNotOptimize(doc);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
  state.SetLabel(corpus_name(static_cast<int>(state.range(0))));
}

// Writing is measured in steady state: both writers put their text into memory that is
// already allocated (our writer into a string whose capacity is kept, the library's
// writer into a pool over a preallocated buffer), so the page faults of fresh
// allocations, which neither writer controls, do not decide the comparison.
void BM_zu_write(benchmark::State& state) {
  const std::string& text = corpus(static_cast<int>(state.range(0)));
  auto doc = std::get<zu::json::Document>(zu::json::parse(text, kLimits));
  std::string out;
  out.reserve(2 * text.size());
  for (auto _ : state) {
    out.clear();
    zu::json::BoundedWriter writer(kLimits, &out);
    writer.value(doc.root(), 0);
    if (!writer.ok()) state.SkipWithError("writer failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
  state.SetLabel(corpus_name(static_cast<int>(state.range(0))));
}

void BM_yyjson_write(benchmark::State& state) {
  const std::string& text = corpus(static_cast<int>(state.range(0)));
  yyjson_doc* doc = yyjson_read(text.data(), text.size(), 0);
  std::string pool(16 * text.size() + 4096, '\0');
  for (auto _ : state) {
    yyjson_alc alc;
    yyjson_alc_pool_init(&alc, pool.data(), pool.size());
    size_t length = 0;
    char* out = yyjson_val_write_opts(yyjson_doc_get_root(doc), 0, &alc, &length, nullptr);
    if (out == nullptr) state.SkipWithError("library writer failed");
    benchmark::DoNotOptimize(out);
  }
  yyjson_doc_free(doc);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
  state.SetLabel(corpus_name(static_cast<int>(state.range(0))));
}

// The same with a fresh output each time, as a one-off caller would write.
void BM_zu_write_fresh(benchmark::State& state) {
  const std::string& text = corpus(static_cast<int>(state.range(0)));
  auto doc = std::get<zu::json::Document>(zu::json::parse(text, kLimits));
  for (auto _ : state) {
    std::string out;
    zu::json::BoundedWriter writer(kLimits, &out);
    writer.value(doc.root(), 0);
    if (!writer.ok()) state.SkipWithError("writer failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
  state.SetLabel(corpus_name(static_cast<int>(state.range(0))));
}

void BM_yyjson_write_fresh(benchmark::State& state) {
  const std::string& text = corpus(static_cast<int>(state.range(0)));
  yyjson_doc* doc = yyjson_read(text.data(), text.size(), 0);
  for (auto _ : state) {
    size_t length = 0;
    char* out = yyjson_val_write(yyjson_doc_get_root(doc), 0, &length);
    benchmark::DoNotOptimize(out);
    std::free(out);
  }
  yyjson_doc_free(doc);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
  state.SetLabel(corpus_name(static_cast<int>(state.range(0))));
}

BENCHMARK(BM_zu_parse)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_yyjson_read)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_nlohmann_parse)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_zu_write)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_yyjson_write)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_zu_write_fresh)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_yyjson_write_fresh)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
