// The host JSON type through its umbrella header, using only members of vantrel_core.
#include <exception>
#include <string>

#include <vantrel/json.hpp>

int check_vantrel_core() {
  try {
    vantrel::json j = vantrel::json::parse(R"({"name":"search","tags":["a"]})");
    const vantrel::json& reader = j;
    if (reader["name"].get<std::string>() != "search" || !reader["tags"].is_array()) return 1;
    j["ok"] = vantrel::json(true);
    if (j.dump() != R"({"name":"search","tags":["a"],"ok":true})") return 1;
    return 0;
  } catch (const std::exception&) {
    return 1;
  }
}
