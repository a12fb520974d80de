// validate_json_value against valijson on the same schemas and values.
//
// Two workloads: the arguments of a realistic tool call (a 40-property schema with nested
// objects and arrays) and a 1 MiB array of records. Both sides parse the same JSON text
// into their own document type once, outside the timed loop. validate_json_value checks
// the schema on every call as well; valijson compiles its schema once, outside the loop,
// which favours it. A variant that includes valijson's schema compilation is measured too.
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <valijson/adapters/nlohmann_json_adapter.hpp>
#include <valijson/schema.hpp>
#include <valijson/schema_parser.hpp>
#include <valijson/validator.hpp>

#include <vantrel/mcp_types.hpp>

namespace {

// ===== Workloads =====

std::string tool_schema() {
  std::string props;
  auto add = [&](const std::string& name, const std::string& schema) {
    if (!props.empty()) props += ",";
    props += "\"" + name + "\":" + schema;
  };
  add("query", R"({"type":"string","description":"What to look for"})");
  add("limit", R"({"type":"integer"})");
  add("threshold", R"({"type":"number"})");
  add("include_archived", R"({"type":"boolean"})");
  add("sort", R"({"type":"string","enum":["relevance","date","title","size"]})");
  add("mode", R"({"const":"search"})");
  add("cursor", R"({"type":["string","null"]})");
  add("filters", R"({"type":"object","required":["field","op"],"additionalProperties":false,"properties":{)"
                 R"("field":{"type":"string"},"op":{"type":"string","enum":["eq","ne","lt","gt","in"]},)"
                 R"("value":{"type":["string","number","boolean","array"]},)"
                 R"("nested":{"type":"object","properties":{"depth":{"type":"integer"},"path":{"type":"array","items":{"type":"string"}}}}}})");
  add("tags", R"({"type":"array","items":{"type":"string"}})");
  add("ranges", R"({"type":"array","items":{"type":"object","required":["from","to"],"properties":{)"
                R"("from":{"type":"number"},"to":{"type":"number"},"label":{"type":"string"}},"additionalProperties":false}})");
  add("locale", R"({"type":"object","properties":{"language":{"type":"string"},"region":{"type":"string"}}})");
  for (int i = 0; i < 29; ++i) {
    static const char* const kinds[] = {R"({"type":"string"})", R"({"type":"integer"})", R"({"type":"boolean"})",
                                        R"({"type":"number"})", R"({"type":"array","items":{"type":"integer"}})"};
    add("option_" + std::to_string(i), kinds[i % 5]);
  }
  return R"({"type":"object","required":["query","limit","sort","mode","filters"],"additionalProperties":false,)"
         R"("properties":{)" + props + "}}";
}

std::string tool_arguments() {
  std::string args =
      R"({"query":"quarterly revenue by region","limit":25,"threshold":0.75,"include_archived":false,)"
      R"("sort":"date","mode":"search","cursor":null,)"
      R"("filters":{"field":"department","op":"in","value":["sales","marketing"],)"
      R"("nested":{"depth":3,"path":["org","unit","team"]}},)"
      R"("tags":["finance","q3","emea","apac"],)"
      R"("ranges":[{"from":0,"to":10.5,"label":"low"},{"from":10.5,"to":100},{"from":100,"to":1000,"label":"high"}],)"
      R"("locale":{"language":"en","region":"GB"})";
  static const char* const values[] = {R"("value")", "42", "true", "3.25", "[1,2,3]"};
  for (int i = 0; i < 29; ++i) args += ",\"option_" + std::to_string(i) + "\":" + values[i % 5];
  return args + "}";
}

std::string records_schema() {
  return R"({"type":"array","items":{"type":"object","required":["id","name","score","tags","active","kind"],)"
         R"("additionalProperties":false,"properties":{"id":{"type":"integer"},"name":{"type":"string"},)"
         R"("score":{"type":"number"},"tags":{"type":"array","items":{"type":"string"}},)"
         R"("active":{"type":"boolean"},"kind":{"enum":["user","group","service"]},)"
         R"("owner":{"type":["object","null"],"properties":{"id":{"type":"integer"}}}}}})";
}

std::string records(std::size_t bytes) {
  static const char* const kinds[] = {"user", "group", "service"};
  std::string out = "[";
  for (std::size_t i = 0; out.size() < bytes; ++i) {
    if (i != 0) out += ",";
    out += R"({"id":)" + std::to_string(i) + R"(,"name":"record number )" + std::to_string(i) + R"(","score":)" +
           std::to_string(i % 97) + ".5" + R"(,"tags":["alpha","beta","gamma"],"active":)" +
           (i % 3 == 0 ? "true" : "false") + R"(,"kind":")" + kinds[i % 3] + R"(","owner":)" +
           (i % 2 == 0 ? R"({"id":7})" : "null") + "}";
  }
  return out + "]";
}

// ===== The two checkers =====

struct Workload {
  vantrel::json value;
  vantrel::json schema;
  nlohmann::json peer_value;
  nlohmann::json peer_schema_doc;
  valijson::Schema peer_schema;
  std::size_t bytes = 0;

  Workload(const std::string& value_text, const std::string& schema_text)
      : value(vantrel::json::parse(value_text)),
        schema(vantrel::json::parse(schema_text)),
        peer_value(nlohmann::json::parse(value_text)),
        peer_schema_doc(nlohmann::json::parse(schema_text)),
        bytes(value_text.size()) {
    valijson::SchemaParser parser;
    valijson::adapters::NlohmannJsonAdapter adapter(peer_schema_doc);
    parser.populateSchema(adapter, peer_schema);
    // Both must accept the value, or the comparison measures different work.
    vantrel::mcp::validate_json_value(value, schema, "value", "");
    if (!peer_valid()) {
      std::fprintf(stderr, "valijson refused the benchmark value\n");
      std::abort();
    }
  }

  bool peer_valid() const {
    valijson::Validator validator;
    valijson::adapters::NlohmannJsonAdapter target(peer_value);
    return validator.validate(peer_schema, target, nullptr);
  }
};

const Workload& tool_workload() {
  static const Workload w(tool_arguments(), tool_schema());
  return w;
}

const Workload& records_workload() {
  static const Workload w(records(1 << 20), records_schema());
  return w;
}

void vantrel_check(benchmark::State& state, const Workload& w) {
  for (auto _ : state) {
    vantrel::mcp::validate_json_value(w.value, w.schema, "value", "");
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(w.bytes));
}

void valijson_check(benchmark::State& state, const Workload& w) {
  valijson::Validator validator;
  for (auto _ : state) {
    valijson::adapters::NlohmannJsonAdapter target(w.peer_value);
    benchmark::DoNotOptimize(validator.validate(w.peer_schema, target, nullptr));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(w.bytes));
}

void valijson_compile_and_check(benchmark::State& state, const Workload& w) {
  valijson::Validator validator;
  for (auto _ : state) {
    valijson::Schema schema;
    valijson::SchemaParser parser;
    valijson::adapters::NlohmannJsonAdapter schema_adapter(w.peer_schema_doc);
    parser.populateSchema(schema_adapter, schema);
    valijson::adapters::NlohmannJsonAdapter target(w.peer_value);
    benchmark::DoNotOptimize(validator.validate(schema, target, nullptr));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(w.bytes));
}

void BM_ToolArguments_Vantrel(benchmark::State& s) { vantrel_check(s, tool_workload()); }
void BM_ToolArguments_Valijson(benchmark::State& s) { valijson_check(s, tool_workload()); }
void BM_ToolArguments_ValijsonWithSchemaCompile(benchmark::State& s) { valijson_compile_and_check(s, tool_workload()); }
void BM_Records1MiB_Vantrel(benchmark::State& s) { vantrel_check(s, records_workload()); }
void BM_Records1MiB_Valijson(benchmark::State& s) { valijson_check(s, records_workload()); }

BENCHMARK(BM_ToolArguments_Vantrel);
BENCHMARK(BM_ToolArguments_Valijson);
BENCHMARK(BM_ToolArguments_ValijsonWithSchemaCompile);
BENCHMARK(BM_Records1MiB_Vantrel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Records1MiB_Valijson)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
