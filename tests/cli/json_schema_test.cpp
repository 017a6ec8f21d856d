// Every command's --json output against the schema written in docs/cli-json.md. The commands come
// from the CLI's own command table (its bash completion), so a new command without a run here
// fails the test. Runs on the in-process simulator: virtual time, no real waits.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "support/cli_run.hpp"

namespace quandelstk::testing {
namespace {

using nlohmann::json;

// The one ```json block of the document.
json DocumentedSchema() {
  std::ifstream in(std::string(QSTK_SOURCE_DIR) + "/docs/cli-json.md");
  std::stringstream text;
  text << in.rdbuf();
  const std::string doc = text.str();
  const auto start = doc.find("```json\n");
  const auto end = doc.find("```", start + 8);
  if (start == std::string::npos || end == std::string::npos) return nullptr;
  return json::parse(doc.substr(start + 8, end - start - 8));
}

// The keywords the document uses: type, properties, required, additionalProperties, items, enum, $ref.
class Validator {
 public:
  explicit Validator(json root) : root_(std::move(root)) {}

  void Check(const json& value, const json& schema, const std::string& path, std::vector<std::string>& errors) const {
    if (schema.contains("$ref")) {
      Check(value, Resolve(schema["$ref"]), path, errors);
      return;
    }
    if (schema.contains("type") && !TypeMatches(value, schema["type"])) {
      errors.push_back(path + ": " + value.dump() + " is not of type " + schema["type"].dump());
      return;
    }
    if (schema.contains("enum") &&
        std::find(schema["enum"].begin(), schema["enum"].end(), value) == schema["enum"].end())
      errors.push_back(path + ": " + value.dump() + " is not one of " + schema["enum"].dump());
    if (value.is_object()) {
      for (const auto& key : schema.value("required", json::array()))
        if (!value.contains(key.get<std::string>())) errors.push_back(path + ": " + key.dump() + " is missing");
      const json properties = schema.value("properties", json::object());
      for (const auto& [key, v] : value.items()) {
        if (properties.contains(key)) Check(v, properties[key], path + "." + key, errors);
        else if (schema.value("additionalProperties", true) == false) errors.push_back(path + ": unexpected " + key);
      }
    }
    if (value.is_array() && schema.contains("items"))
      for (std::size_t i = 0; i < value.size(); ++i)
        Check(value[i], schema["items"], path + "[" + std::to_string(i) + "]", errors);
  }

  json Resolve(const json& ref) const {
    // "#/definitions/x" or "#/results/x y"
    const std::string text = ref.get<std::string>();
    json at = root_;
    std::size_t from = 2;
    while (from <= text.size()) {
      const auto slash = text.find('/', from);
      const std::string key = text.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
      at = at.at(key);
      if (slash == std::string::npos) break;
      from = slash + 1;
    }
    return at;
  }

 private:
  static bool TypeMatches(const json& value, const json& type) {
    if (type.is_array()) {
      for (const auto& t : type)
        if (TypeMatches(value, t)) return true;
      return false;
    }
    const std::string t = type.get<std::string>();
    if (t == "object") return value.is_object();
    if (t == "array") return value.is_array();
    if (t == "string") return value.is_string();
    if (t == "integer") return value.is_number_integer();
    if (t == "number") return value.is_number();
    if (t == "boolean") return value.is_boolean();
    if (t == "null") return value.is_null();
    return false;
  }

  json root_;
};

// Each object a run printed, with the errors the schema finds in it (its result checked against
// the schema the document gives for its command).
std::vector<std::string> Violations(const Validator& v, const json& schema, const json& object) {
  std::vector<std::string> errors;
  v.Check(object, schema, "$", errors);
  const std::string command = object.value("command", "");
  if (object.contains("result") && schema["results"].contains(command))
    v.Check(object["result"], schema["results"][command], "$.result", errors);
  return errors;
}

// The leaf commands of the CLI's command table, as its completion lists them.
std::set<std::string> LeafCommands() {
  const RunResult r = RunProgram({kCli, "--bash-completion"}, 30000);
  std::set<std::string> leaves;
  const std::regex entry(R"(\['commands\|([^']*)'\]='([^']*)')");
  for (std::sregex_iterator it(r.output.begin(), r.output.end(), entry), end; it != end; ++it)
    if ((*it)[2].str().empty() && !(*it)[1].str().empty()) leaves.insert((*it)[1].str());
  return leaves;
}

TEST(JsonSchema, EveryCommandsOutputMatchesTheDocumentedSchema) {
  const json schema = DocumentedSchema();
  ASSERT_TRUE(schema.is_object()) << "docs/cli-json.md holds no ```json block";
  const Validator validator(schema);

  const std::string scenario = (std::filesystem::temp_directory_path() /
                                ("quandelstk-schema-" + std::to_string(::getpid()) + ".json"))
                                   .string();
  std::ofstream(scenario) << R"({"sms": {"messages": [{"pdu": "07911326040000F0040B911346610089F60000208062917314480CC8F71D14969741F977FD07"}]}})";
  const std::string port = "sim:" + scenario;
  const std::string file = std::filesystem::temp_directory_path() / ("quandelstk-schema-" + std::to_string(::getpid()) + ".vcf");
  const std::string store_folder =
      std::filesystem::temp_directory_path() / ("quandelstk-schema-store-" + std::to_string(::getpid()));
  std::filesystem::create_directories(store_folder);
  const std::string store = "sqlite:" + store_folder + "/queue.db";

  // Each run: its command words (as the completion names them) and its arguments.
  const std::vector<std::pair<std::string, std::vector<std::string>>> runs = {
      {"init", {"init"}}, {"shutdown", {"shutdown"}}, {"reboot", {"reboot"}}, {"signal", {"signal"}},
      {"operator", {"operator"}}, {"registered", {"registered"}}, {"imsi", {"imsi"}}, {"msisdn", {"msisdn"}},
      {"find-port", {"find-port", "1", "3"}}, {"at", {"at", "AT+CSQ"}}, {"identify", {"identify"}},
      {"pin status", {"pin", "status"}}, {"pin enter", {"pin", "enter", "1234"}},
      {"pin change", {"pin", "change", "1234", "4321"}}, {"pin unblock", {"pin", "unblock", "12345678", "1234"}},
      {"pin lock", {"pin", "lock", "off", "0000"}}, {"network", {"network"}}, {"smsc", {"smsc"}},
      {"smsc", {"smsc", "+15550100124"}}, {"clock", {"clock"}}, {"clock", {"clock", "--sync"}},
      {"list", {"list", "--probe"}}, {"pdu encode", {"pdu", "encode", "+15550100123", "hello"}},
      {"pdu decode", {"pdu", "decode", "07911326040000F0040B911346610089F60000208062917314480CC8F71D14969741F977FD07"}},
      {"sms send", {"sms", "send", "+15550100999", "hello"}}, {"sms send", {"sms", "send", "+15550100999", std::string(200, 'x')}},
      {"sms read", {"sms", "read"}}, {"sms report", {"sms", "report", "get"}},
      {"sms online", {"sms", "online", "+15550100456", "--wait", "1"}},
      {"message send", {"message", "send", "+15550100999", "hi"}}, {"message list", {"message", "list"}},
      {"message get", {"message", "get", "1"}}, {"message delete", {"message", "delete", "1"}},
      {"message watch", {"message", "watch", "--for", "1"}}, {"stk status", {"stk", "status"}},
      {"stk activate", {"stk", "activate"}}, {"stk menu", {"stk", "menu"}}, {"stk select", {"stk", "select", "1"}},
      {"stk submenu", {"stk", "submenu"}}, {"stk subselect", {"stk", "subselect", "1"}},
      {"stk input", {"stk", "input"}}, {"stk submit", {"stk", "submit", "OK"}}, {"stk response", {"stk", "response"}},
      {"stk sms-sent", {"stk", "sms-sent"}}, {"stk close", {"stk", "close"}},
      {"stk deactivate", {"stk", "deactivate"}}, {"stk browse", {"stk", "browse"}},
      {"ussd send", {"ussd", "send", "*100#"}}, {"ussd listen", {"ussd", "listen", "--timeout", "1"}},
      {"ussd cancel", {"ussd", "cancel"}}, {"phonebook size", {"phonebook", "size"}},
      {"phonebook used", {"phonebook", "used"}}, {"phonebook write", {"phonebook", "write", "1", "+15550100", "Ann"}},
      {"phonebook read", {"phonebook", "read", "1"}}, {"phonebook list", {"phonebook", "list"}},
      {"phonebook export", {"phonebook", "export", file}}, {"phonebook import", {"phonebook", "import", file, "--dry-run"}},
      {"phonebook delete", {"phonebook", "delete", "1"}}, {"demo", {"demo"}}, {"shell", {"shell"}},
      {"queue send", {"queue", "--store", store, "send", "+15550100123", "hi"}},
      {"queue show", {"queue", "--store", store, "show", "1"}}, {"queue list", {"queue", "--store", store, "list"}},
      {"queue inbox", {"queue", "--store", store, "inbox"}}, {"queue modems", {"queue", "--store", store, "modems"}},
      // Error objects: usage, a bad number, an unknown command.
      {"", {"frobnicate"}}, {"", {"sms", "send", "abc", "hello"}}, {"", {"find-port", "one", "3"}},
  };

  std::set<std::string> covered;
  for (const auto& [name, args] : runs) {
    std::string command = "printf 'signal\\nnetwork\\nfrobnicate\\nsms send abc x\\nexit\\n' | " + ShellQuoted(kCli) +
                          " --port " + ShellQuoted(port) + " --json";
    for (const auto& a : args) command += " " + ShellQuoted(a);
    const RunResult r = RunProgram({"sh", "-c", command + " 2>/dev/null"}, 60000);
    const auto objects = JsonLines(r.output);
    ASSERT_FALSE(objects.empty()) << name << ": no JSON object\n" << r.output;
    for (const json& o : objects) {
      const auto errors = Violations(validator, schema, o);
      EXPECT_TRUE(errors.empty()) << name << ": " << o.dump() << "\n  " << (errors.empty() ? "" : errors[0]);
    }
    covered.insert(name);
  }
  for (const std::string& leaf : LeafCommands()) EXPECT_TRUE(covered.count(leaf)) << leaf << " has no run here";
  std::filesystem::remove(scenario);
  std::filesystem::remove(file);
  std::filesystem::remove_all(store_folder);
}

TEST(JsonSchema, TheValidatorRefusesWhatTheSchemaForbids) {
  const json schema = DocumentedSchema();
  const Validator validator(schema);
  const std::vector<json> bad = {
      {{"command", "signal"}, {"result", 2}},                               // required key missing
      {{"schema", 2}, {"command", "signal"}, {"result", 2}},                // not in the enum
      {{"schema", 1}, {"command", "signal"}, {"result", 2}, {"extra", 1}},  // unknown key
      {{"schema", 1}, {"command", "x"}, {"error", "plain text"}},           // wrong type
      {{"schema", 1}, {"command", "network"}, {"result", {{"registration", nullptr}}}},  // a result's keys
  };
  for (const json& o : bad) EXPECT_FALSE(Violations(validator, schema, o).empty()) << o.dump();
}

}  // namespace
}  // namespace quandelstk::testing
