// quandelstk-modemsim: a simulated GSM modem with its SIM on a pseudo-terminal.
#include <CLI/CLI.hpp>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>

#include "modemsim/pty_server.hpp"
#include "quandelstk/version.hpp"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) {
  g_stop = 1;
}

constexpr const char* kScenarioHelp = R"(
Scenario (JSON, every key optional; defaults: a registered WAVECOM modem with a READY SIM):
  maker, model, revision, imei     identity texts (AT+CGMI, +CGMM, +CGMR, +CGSN)
  echo (true), cmee (1)            echo and error reporting at power-up
  dialect ("wavecom")              the maker's own answer forms: "wavecom" or "quectel"
  gsm_text ("septets")             the "GSM" set on the line: "septets" or "latin1" (ISO 8859-1 codes)
  baud                             hears the host only at this line speed
  clock ("26/12/04,10:00:00+04")   network time at start
  sim {state: "READY"|"SIM PIN"|"SIM PUK"|"absent", pin, puk, pin_attempts, puk_attempts,
       imsi, msisdn, smsc, busy_ms}
  csms_not_ready                   first N "AT+CSMS=0" answer +CMS ERROR: 515
  network {registration, operator, operator_code, signal, ber, lac, ci, act, restart_ms}
  sms {capacity: N | {SM, ME, SR}, report_delay_ms, report_status, loopback_delay_ms,
       delete_empty_ok, messages: [{storage, index, status, from | to, text | pdu, time, smsc}],
       deliveries: [{at_ms, gap_ms, from (number or name), text, time, reference, wide_reference,
                     order: [part numbers]}]}
  phonebook {capacity, number_length, name_length, empty_error,
             entries: [{index, number, type, name}]}
  calls {"<number>" | "*": {behaviour: answer|ring|busy|reject|no_answer, after_ms, alert_ms}}
  ussd {"<code>": {status, text, dcs, before_ok, delay_ms, next: {"<answer>": {...}}}}
  ussd_notifications [{at_ms, status, text, dcs}]
  stk {supported, needs_restart, profile, timeout_ms, stin_delay_ms, csms_not_ready_after_off, title,
       items: [{id, label, title + items | display | input {prompt, min, max, format, echo}
                | sms (+ to) | end, then: {...}}]}
  responses {"<exact command line>": "<literal answer bytes>"}
  silent ["<command line>"]        never answered
  delays {"<line>": ms | {ms, final_ms}}
  chunking {"<line>": {size, gap_ms}}
  unsolicited [{at_ms | after: "<line>", delay_ms, text}]
  A <line> pattern is the exact command line, a prefix ending in "*", or "*" for all.
)";

// Every message the modem accepted for sending, one JSON object per line, for tests that count
// what went out.
void WriteJournal(const quandelstk::modemsim::Model& model, const std::string& path) {
  std::ofstream out(path, std::ios::trunc);
  for (const auto& m : model.Messaging().Sent()) {
    nlohmann::json j{{"reference", m.reference}, {"to", m.to.number}, {"text", m.text},
                     {"report", m.report_requested}, {"at_ms", m.at}};
    if (m.concat)
      j["concat"] = {{"reference", m.concat->reference}, {"total", m.concat->total}, {"sequence", m.concat->sequence}};
    out << j.dump() << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quandelstk::modemsim;
  CLI::App app{
      "A simulated GSM modem with its SIM on a pseudo-terminal. Prints the device path on the first line "
      "of standard output and serves until SIGINT or SIGTERM."};
  app.set_version_flag("--version", std::string("quandelstk-modemsim ") + quandelstk::kVersionText);
  std::string scenario_path, link_path, transcript_path, journal_path;
  app.add_option("--scenario", scenario_path, "Scenario file (JSON) that sets the modem's state and faults");
  app.add_option("--link", link_path, "Also make this path a symbolic link to the device (removed at exit)");
  app.add_option("--transcript", transcript_path,
                 "Append every byte received (rx) and sent (tx) to this file, with time and escapes");
  app.add_option("--journal", journal_path,
                 "At exit, write every message sent through the modem to this file (JSON, one per line)");
  app.footer(kScenarioHelp);
  CLI11_PARSE(app, argc, argv);

  std::optional<Model> model;
  try {
    model.emplace(scenario_path.empty() ? Scenario() : LoadScenarioFile(scenario_path));
  } catch (const ScenarioError& e) {
    std::cerr << "quandelstk-modemsim: " << e.what() << "\n";
    return 2;
  }
  try {
    std::optional<Transcript> transcript;
    if (!transcript_path.empty()) transcript.emplace(transcript_path);
    PtyServer server(*model, transcript ? &*transcript : nullptr);
    if (!link_path.empty()) {
      std::error_code ec;
      if (std::filesystem::is_symlink(link_path)) std::filesystem::remove(link_path);
      std::filesystem::create_symlink(server.DevicePath(), link_path, ec);
      if (ec) throw std::runtime_error("cannot link " + link_path + ": " + ec.message());
    }
    // Handlers first: a client may stop us as soon as it has read the path.
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::cout << server.DevicePath() << std::endl;
    server.Serve(g_stop);
    if (!journal_path.empty()) WriteJournal(*model, journal_path);
    if (!link_path.empty()) std::filesystem::remove(link_path);
  } catch (const std::exception& e) {
    std::cerr << "quandelstk-modemsim: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
