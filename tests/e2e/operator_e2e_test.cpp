// The operator's commands end to end: the built quandelstk against quandelstk-modemsim on a
// pseudo-terminal, for a WAVECOM modem (the standard answer forms and its own) and a Quectel one
// (its own forms, the access technology), in text, JSON and key-value form.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "support/cli_run.hpp"

namespace quandelstk::testing {
namespace {

using nlohmann::json;

RunResult Cli(const std::vector<std::string>& args, const std::string& env = "") {
  std::vector<std::string> argv = {"env"};
  if (!env.empty()) argv.push_back(env);
  argv.push_back(kCli);
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, 60000);
}

json OneObject(const RunResult& r) {
  const std::vector<json> lines = JsonLines(r);
  EXPECT_EQ(lines.size(), 1u) << r.output;
  return lines.empty() ? json() : lines[0];
}

struct Maker {
  std::string name;
  std::string scenario;  // JSON members added to every scenario of the test
  std::string maker, model, retries_source;
  json act;  // the access technology's value, null when the modem shows none
  int registration;
};

const std::vector<Maker>& Makers() {
  static const std::vector<Maker> makers = {
      {"WAVECOM", "", "WAVECOM MODEM", "MULTIBAND  900E  1800", "AT+CPINR", nullptr, 1},
      {"Quectel",
       R"("maker": "Quectel", "model": "EC21", "revision": "EC21EFAR06A01M4G", "dialect": "quectel",
          "network": {"act": 7, "registration": 5, "lac": "1A2B", "ci": "01C3D4E5"})",
       "Quectel", "EC21", "AT+QPINC?", 7, 5},
  };
  return makers;
}

std::string Scenario(const Maker& m, const std::string& more = "") {
  std::string members = m.scenario;
  if (!more.empty()) members += (members.empty() ? "" : ", ") + more;
  return "{" + members + "}";
}

// How many pieces the modem received from the host that hold this text.
int Received(const SimProcess& sim, const std::string& text) {
  std::istringstream in(sim.TranscriptText());
  int count = 0;
  for (std::string line; std::getline(in, line);)
    if (line.find(" rx ") != std::string::npos && line.find(text) != std::string::npos) ++count;
  return count;
}

// Both makers' answer forms, in text, JSON and key-value form, with the answers in pieces (whole
// answers are what every other run gets).
TEST(OperatorE2e, IdentifyNetworkAndSmscForBothMakersWithAnswersInPieces) {
  for (const Maker& m : Makers()) {
    SCOPED_TRACE(m.name);
    SimProcess sim(
        Scenario(m,
                 R"("sim": {"iccid": "8944501234567890123"}, "chunking": {"*": {"size": 3, "gap_ms": 2}})"),
        true);
    const std::string port = sim.DevicePath();
    const json id = OneObject(Cli({"--port", port, "--json", "identify"}))["result"];
    for (const auto& [key, value] :
         std::vector<std::pair<std::string, json>>{{"maker", m.maker},
                                                   {"model", m.model},
                                                   {"imei", "351234567890125"},
                                                   {"imsi", "001010123456789"},
                                                   {"iccid", "8944501234567890123"},
                                                   {"ownNumbers", {"+15550100999"}}})
      EXPECT_EQ(id[key], value) << key;
    EXPECT_EQ(id["sim"]["state"], "READY");
    const auto text = Cli({"--port", port, "identify"});
    EXPECT_EQ(text.exit_code, 0) << text.output;
    EXPECT_NE(text.output.find("Maker        " + m.maker), std::string::npos) << text.output;
    EXPECT_NE(text.output.find("ICCID        8944501234567890123"), std::string::npos) << text.output;

    const json r = OneObject(Cli({"--port", port, "--json", "network"}))["result"];
    EXPECT_EQ(r["registration"]["state"], m.registration);
    EXPECT_EQ(r["registration"]["name"], m.registration == 1 ? "registered, home network" : "registered, roaming");
    EXPECT_EQ(r["registration"]["reportingMode"], 0);
    EXPECT_EQ(r["operator"]["name"], "Quandel Mobile");
    EXPECT_EQ(r["operator"]["mcc"], "001");
    EXPECT_EQ(r["operator"]["mnc"], "01");
    EXPECT_EQ(r["signal"]["dbm"], -83);
    if (m.act.is_null()) {
      EXPECT_EQ(r["accessTechnology"], nullptr);
      EXPECT_EQ(r["lac"], json({{"hex", "00C3"}, {"value", 195}}));
      EXPECT_EQ(r["cellId"], json({{"hex", "0A1B"}, {"value", 2587}}));
    } else {
      EXPECT_EQ(r["accessTechnology"], json({{"value", 7}, {"name", "E-UTRAN"}}));
      EXPECT_EQ(r["cellId"], json({{"hex", "01C3D4E5"}, {"value", 29611237}}));
    }
    // Reporting mode and operator format put back as they were before: the last settings sent.
    const std::string sent = sim.TranscriptText();
    const auto last = [&](const std::string& prefix) {
      const auto at = sent.rfind(prefix);
      return at == std::string::npos ? std::string() : sent.substr(at, prefix.size() + 1);
    };
    EXPECT_EQ(last("AT+CREG="), "AT+CREG=0");
    EXPECT_EQ(last("AT+COPS=3,"), "AT+COPS=3,0");
    const auto network = Cli({"--port", port, "network"}).output;
    EXPECT_NE(network.find("MCC/MNC       001/01"), std::string::npos) << network;
    EXPECT_NE(network.find("-83 dBm"), std::string::npos) << network;
    const auto keys = Cli({"--port", port, "-K", "network"}).output;
    for (const std::string line :
         {"command : network\n", "result.operator.mcc : 001\n", "schema : 1\n",
          m.act.is_null() ? "result.accessTechnology : --\n" : "result.accessTechnology.name : E-UTRAN\n"})
      EXPECT_NE(keys.find(line), std::string::npos) << keys;
    const json smsc = OneObject(Cli({"--port", port, "--json", "smsc"}))["result"];
    EXPECT_EQ(smsc["number"], "+15550100123");
    EXPECT_EQ(smsc["type"], 145);
    const json pin = OneObject(Cli({"--port", port, "--json", "pin", "status"}))["result"];
    EXPECT_EQ(pin["retries"]["pin"], 3);
    EXPECT_EQ(pin["retries"]["puk"], 10);
    EXPECT_EQ(pin["retries"]["source"], m.retries_source);
  }
}

TEST(OperatorE2e, IdentifyWhileTheSimWaitsForItsPinNamesTheStateAndKeepsTheNumbersBack) {
  SimProcess sim(R"({"sim": {"state": "SIM PIN"}})");
  const auto run = Cli({"--port", sim.DevicePath(), "--json", "identify"});
  EXPECT_EQ(run.exit_code, 0) << run.output;
  const json r = OneObject(run)["result"];
  EXPECT_EQ(r["sim"]["state"], "SIM PIN");
  EXPECT_EQ(r["maker"], "WAVECOM MODEM");
  EXPECT_EQ(r["imsi"], nullptr);
}

// Not registered: the state in words and no operator; a signal of 99 is not known, so no dBm either.
TEST(OperatorE2e, NotRegisteredAndAnUnknownSignal) {
  SimProcess sim(R"({"network": {"registration": 3, "signal": 99}})");
  const json r = OneObject(Cli({"--port", sim.DevicePath(), "--json", "network"}))["result"];
  EXPECT_EQ(r["registration"]["name"], "registration denied");
  EXPECT_EQ(r["operator"], nullptr);
  const auto text = Cli({"--port", sim.DevicePath(), "network"}).output;
  EXPECT_NE(text.find("Signal        unknown, bit errors"), std::string::npos) << text;
}

TEST(OperatorE2e, WrongPinShowsTheTriesLeftAndIsNeverTriedAgainThenThePukUnblocks) {
  SimProcess sim(R"({"sim": {"state": "SIM PIN", "pin": "2468"}})", true);
  const std::string port = sim.DevicePath();

  for (int left : {2, 1}) {
    const auto run = Cli({"--port", port, "--json", "pin", "enter", "1111"});
    EXPECT_EQ(run.exit_code, 1) << run.output;
    const json o = OneObject(run);
    EXPECT_EQ(o["result"]["done"], false);
    EXPECT_EQ(o["result"]["retries"]["pin"], left);
    EXPECT_EQ(o["error"]["kind"], "cme");
    EXPECT_EQ(o["error"]["code"], 16);
    EXPECT_EQ(o["error"]["name"], "incorrect password");
  }
  EXPECT_EQ(Received(sim, "1111"), 2) << sim.TranscriptText();
  const auto text = Cli({"--port", port, "pin", "enter", "1111"});
  EXPECT_EQ(text.exit_code, 1);
  EXPECT_NE(text.output.find("+CME ERROR: 16 (incorrect password)"), std::string::npos) << text.output;
  EXPECT_NE(text.output.find("not tried again"), std::string::npos) << text.output;
  EXPECT_NE(text.output.find("SIM PUK"), std::string::npos) << text.output;

  // Blocked: a PIN is not even sent; the PUK unblocks and sets the new PIN.
  const int sent = Received(sim, "+CPIN=");
  const auto refused = Cli({"--port", port, "--json", "pin", "enter", "2468"});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(OneObject(refused)["result"]["state"], "SIM PUK");
  EXPECT_EQ(Received(sim, "+CPIN="), sent);
  const auto wrong_puk = Cli({"--port", port, "--json", "pin", "unblock", "11111111", "1357"});
  EXPECT_EQ(OneObject(wrong_puk)["result"]["retries"]["puk"], 9) << wrong_puk.output;
  const auto unblocked = Cli({"--port", port, "--json", "pin", "unblock", "12345678", "1357"});
  EXPECT_EQ(unblocked.exit_code, 0) << unblocked.output;
  EXPECT_EQ(OneObject(unblocked)["result"]["state"], "READY");

  // Lock off, then a change is refused by the SIM (the lock must be on): error named.
  EXPECT_EQ(Cli({"--port", port, "pin", "lock", "off", "1357"}).exit_code, 0);
  EXPECT_EQ(OneObject(Cli({"--port", port, "--json", "pin", "status"}))["result"]["lock"], false);
  const json change = OneObject(Cli({"--port", port, "--json", "pin", "change", "1357", "2222"}));
  EXPECT_EQ(change["error"]["name"], "operation not allowed");
  EXPECT_EQ(Cli({"--port", port, "pin", "lock", "on", "1357"}).exit_code, 0);
  EXPECT_EQ(Cli({"--port", port, "pin", "change", "1357", "2222"}).exit_code, 0);
  // Only the new PIN switches the lock now.
  EXPECT_EQ(Cli({"--port", port, "pin", "lock", "off", "1357"}).exit_code, 1);
  EXPECT_EQ(Cli({"--port", port, "pin", "lock", "off", "2222"}).exit_code, 0);
}

TEST(OperatorE2e, PinFromTheEnvironmentAndNeverShown) {
  SimProcess other(R"({"sim": {"state": "SIM PIN", "pin": "8642"}})");
  // Port and PIN from the environment: pin enter without a PIN takes QUANDELSTK_PIN.
  const auto by_env = RunProgram({"env", "QUANDELSTK_PORT=" + other.DevicePath(), "QUANDELSTK_PIN=8642", kCli,
                                  "--json", "pin", "enter"},
                                 60000);
  EXPECT_EQ(by_env.exit_code, 0) << by_env.output;
  EXPECT_EQ(OneObject(by_env)["result"]["state"], "READY");
  EXPECT_EQ(by_env.output.find("8642"), std::string::npos) << by_env.output;
  // A PIN that is no PIN is refused before it is sent; pin lock takes it from there too; at's echo masked.
  const auto bad = Cli({"--port", other.DevicePath(), "pin", "enter"}, "QUANDELSTK_PIN=12\"34");
  EXPECT_EQ(bad.exit_code, 2) << bad.output;
  EXPECT_NE(bad.output.find("QUANDELSTK_PIN is not a PIN"), std::string::npos) << bad.output;
  EXPECT_EQ(Cli({"--port", other.DevicePath(), "pin", "lock", "off"}, "QUANDELSTK_PIN=8642").exit_code, 0);
  const auto echoed = Cli({"--port", other.DevicePath(), "--json", "at", "AT+CPIN=\"8642\""});
  EXPECT_EQ(echoed.output.find("8642"), std::string::npos) << echoed.output;
}

TEST(OperatorE2e, SmscSetAndABadNumberSendsNothing) {
  SimProcess sim("", true);
  const json set = OneObject(Cli({"--port", sim.DevicePath(), "--json", "smsc", "+15550100777"}));
  EXPECT_EQ(set["result"]["number"], "+15550100777");
  EXPECT_EQ(set["result"]["set"], true);
  const int lines = Received(sim, "AT");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"smsc", "12ab"}, {"sms", "send", "abc", "hello"}, {"sms", "online", "+1 555"},
        {"sms", "send", std::string(21, '1'), "hello"}}) {
    std::vector<std::string> a = {"--port", sim.DevicePath(), "--json"};
    a.insert(a.end(), args.begin(), args.end());
    const auto run = Cli(a);
    EXPECT_EQ(run.exit_code, 2) << run.output;
    const json o = OneObject(run);
    EXPECT_EQ(o["error"]["kind"], "usage") << o;
    EXPECT_NE(o["error"]["description"].get<std::string>().find("not a phone number"), std::string::npos) << o;
  }
  EXPECT_EQ(Received(sim, "AT"), lines);
}

TEST(OperatorE2e, ErrorCodesNamedWithHintsAndUntranslatedOnesSaidSo) {
  SimProcess sim(R"({"responses": {"AT+CSCA?": "\r\n+CMS ERROR: 599\r\n"}})");
  const auto untranslated = Cli({"--port", sim.DevicePath(), "--json", "smsc"});
  EXPECT_EQ(untranslated.exit_code, 1) << untranslated.output;
  const json e = OneObject(untranslated)["error"];
  EXPECT_EQ(e["kind"], "cms");
  EXPECT_EQ(e["code"], 599);
  EXPECT_EQ(e["name"], nullptr);
  const auto text = Cli({"--port", sim.DevicePath(), "smsc"});
  EXPECT_NE(text.output.find("+CMS ERROR: 599 (not in the table of standard codes)"), std::string::npos)
      << text.output;

  // A class call's hidden answer is named too: text mode cannot take 500 characters. (On the
  // in-process simulator: Init's pauses pass in virtual time.)
  const auto long_text = Cli({"sms", "send", "+15550100456", std::string(500, 'a')});
  EXPECT_EQ(long_text.exit_code, 1);
  EXPECT_NE(long_text.output.find("+CMS ERROR: 305 (invalid text mode parameter)"), std::string::npos)
      << long_text.output;
  EXPECT_NE(long_text.output.find("--mode long"), std::string::npos) << long_text.output;
  EXPECT_EQ(long_text.output.find("--trace"), std::string::npos) << long_text.output;  // the error is named
  const json as_json =
      OneObject(Cli({"--json", "sms", "send", "+15550100456", std::string(500, 'a')}));
  EXPECT_EQ(as_json["error"]["code"], 305);
}

TEST(OperatorE2e, ClockReadsAndSyncsFromTheHost) {
  SimProcess sim;
  const json read = OneObject(Cli({"--port", sim.DevicePath(), "--json", "clock"}))["result"];
  EXPECT_EQ(read["raw"].get<std::string>().substr(0, 8), "26/12/04");
  EXPECT_EQ(read["zone"], "+01:00");
  const auto sync = Cli({"--port", sim.DevicePath(), "--json", "clock", "--sync"});
  ASSERT_EQ(sync.exit_code, 0) << sync.output;
  const json synced = OneObject(sync)["result"];
  EXPECT_EQ(synced["synced"], true);
  // The modem now reads the host's date and zone (the zone in whole quarters of an hour).
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char date[16];
  std::strftime(date, sizeof date, "%Y-%m-%d", &local);
  EXPECT_EQ(synced["iso"].get<std::string>().substr(0, 10), date) << synced;
  const int quarters = static_cast<int>(local.tm_gmtoff / 900);
  char zone[16];
  std::snprintf(zone, sizeof zone, "%c%02d:%02d", quarters < 0 ? '-' : '+', std::abs(quarters) / 4,
                std::abs(quarters) % 4 * 15);
  EXPECT_EQ(synced["zone"], zone);
}

TEST(OperatorE2e, ListProbesFreeDevicesAndShowsHeldOnesWithTheirHolder) {
  SimProcess wavecom;
  SimProcess quectel(Scenario(Makers()[1]));
  SimProcess held;
  // Another quandelstk holds the third port for itself while it listens for USSD.
  BackgroundProgram holder({kCli, "--port", held.DevicePath(), "ussd", "listen", "--timeout", "60"});
  json devices;
  std::map<std::string, json> by_device;
  for (int attempt = 0; attempt < 100; ++attempt) {
    devices = OneObject(Cli({"--json", "--timeout", "1", "list", "--probe", wavecom.DevicePath(),
                             quectel.DevicePath(), held.DevicePath()}))["result"];
    for (const json& d : devices) by_device[d["device"]] = d;
    // Until the holder has the port open: seen among the holders, not only refused by the open.
    if (by_device[held.DevicePath()]["probe"] == "held" && !by_device[held.DevicePath()]["heldBy"].empty()) break;
    ::usleep(20000);
  }
  EXPECT_EQ(by_device[wavecom.DevicePath()]["probe"], "answered");
  EXPECT_EQ(by_device[wavecom.DevicePath()]["modem"]["maker"], "WAVECOM MODEM");
  EXPECT_EQ(by_device[quectel.DevicePath()]["modem"]["model"], "EC21");
  EXPECT_EQ(by_device[held.DevicePath()]["probe"], "held");
  EXPECT_EQ(by_device[held.DevicePath()]["modem"], nullptr);
  bool named = false;
  for (const json& h : by_device[held.DevicePath()]["heldBy"]) named = named || h["program"] == "quandelstk";
  EXPECT_TRUE(named) << by_device[held.DevicePath()];
  holder.Signal(SIGTERM);
  holder.Finish(5000);

  const auto text = Cli({"list", "--probe", wavecom.DevicePath()});
  EXPECT_NE(text.output.find("modem: WAVECOM MODEM"), std::string::npos) << text.output;
}

TEST(OperatorE2e, ListWritesNothingToAPortAnotherProgramHasOpenOrLocked) {
  for (const bool locked : {false, true}) {
    SCOPED_TRACE(locked ? "lock file" : "open in sleep");
    SimProcess sim("", true);
    const std::string device = sim.DevicePath();
    const auto lock = std::filesystem::path("/run/lock") / ("LCK.." + std::filesystem::path(device).filename().string());
    const auto fifo = sim.Folder() / "opened";
    std::optional<BackgroundProgram> holder;
    if (locked) {
      std::ofstream(lock) << std::setw(10) << ::getpid() << "\n";
    } else {
      // A plain (not exclusive) open by a child; the FIFO tells when the device is open.
      ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
      holder.emplace(std::vector<std::string>{"sh", "-c", "exec 3<" + device + "; echo >" + fifo.string() + "; exec sleep 60"});
      std::string line;
      std::getline(std::ifstream(fifo), line);
    }
    const json devices = OneObject(Cli({"--json", "list", "--probe", device}))["result"];
    std::filesystem::remove(lock);
    json d;
    for (const json& each : devices) if (each["device"] == device) d = each;
    EXPECT_EQ(d["probe"], "held") << d;
    ASSERT_FALSE(d["heldBy"].empty()) << d;
    EXPECT_EQ(locked ? d["heldBy"][0]["pid"] : d["heldBy"][0]["program"], locked ? json(::getpid()) : json("sleep"));
    // The probe's own question: a full Init seen here once came from a program of another test
    // that reached this pseudo-terminal under a reused number, which is no fault of the probe.
    EXPECT_EQ(Received(sim, "AT+CGMM"), 0) << sim.TranscriptText();
  }
}

}  // namespace
}  // namespace quandelstk::testing
