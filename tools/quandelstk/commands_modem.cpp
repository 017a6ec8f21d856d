// The Modem commands and the raw exchange: init, shutdown, reboot, signal, operator, registered,
// imsi, msisdn, find-port, at.
#include <fmt/core.h>

#include "channel/exchange.hpp"
#include "charset.hpp"
#include "cli.hpp"
#include "modem_errors.hpp"
#include "progress.hpp"
#include "quandelstk/modem.hpp"
#include "quandelstk/platform.hpp"

namespace quandelstk::cli {

namespace {

std::string YesNo(bool value, const std::string& yes, const std::string& no) { return value ? yes : no; }

void AddInit(CLI::App& app, Cli& cli) {
  auto* cmd = app.add_subcommand("init", "Open the port and initialise the modem (speed probe, SIM PIN, message settings)");
  cmd->callback([&cli] {
    cli.Run("init", false, [&cli] {
      if (!cli.Initialise(true)) return;
      cli.Report("init", "OK", true, "OK: the modem is ready");
    });
  });
}

void AddBoolCommand(CLI::App& app, Cli& cli, const std::string& name, const std::string& help,
                    bool (Modem::*method)(), const std::string& yes, const std::string& no) {
  auto* cmd = app.add_subcommand(name, help);
  cmd->callback([&cli, name, method, yes, no] {
    cli.Run(name, true, [&] {
      Modem modem;
      const bool r = (modem.*method)();
      cli.Report(name, r, r, YesNo(r, yes, no));
    });
  });
}

void AddTextCommand(CLI::App& app, Cli& cli, const std::string& name, const std::string& help,
                    std::string (Modem::*method)(), const std::string& empty) {
  auto* cmd = app.add_subcommand(name, help);
  cmd->callback([&cli, name, method, empty] {
    cli.Run(name, true, [&] {
      Modem modem;
      const std::string r = Cp1252ToUtf8((modem.*method)());
      cli.Report(name, r, !r.empty(), r.empty() ? empty : r);
    });
  });
}

void AddSignal(CLI::App& app, Cli& cli) {
  auto* cmd = app.add_subcommand("signal", "Signal strength: 0 (-113 dBm or less) to 3 (-51 dBm or more), -1 unknown");
  cmd->callback([&cli] {
    cli.Run("signal", true, [&cli] {
      static const char* const kLevels[] = {"0 (-113 dBm or less)", "1 (-111 dBm)", "2 (-109 to -53 dBm)",
                                            "3 (-51 dBm or more)"};
      const std::int16_t r = Modem().SignalStrength();
      cli.Report("signal", r, r >= 0, r >= 0 ? kLevels[r] : "-1 (unknown)");
    });
  });
}

void AddFindPort(CLI::App& app, Cli& cli) {
  auto* cmd = app.add_subcommand("find-port", "Search ports START to END of the port table (the simulator with --port sim) for a WAVECOM modem; 3 to 4 s per silent port");
  cmd->add_option("START", "first port number")->required()->check(WholeNumber(-32768, 32767));
  cmd->add_option("END", "last port number")->required()->check(WholeNumber(-32768, 32767));
  cmd->callback([&cli, cmd] {
    cli.Run("find-port", false, [&cli, cmd] {
      const auto start = cmd->get_option("START")->as<std::int16_t>();
      const auto end = cmd->get_option("END")->as<std::int16_t>();
      cli.Connect(true);
      cli.out.Progress(fmt::format("searching ports {} to {}", start, end));
      std::int16_t a = start, b = end;
      const std::int16_t r = Modem().FindCOMPort(a, b);
      // The number alone leaves the operator to look the device up in the port table.
      const std::string device = r != 0 ? (cli.OnSimulator() ? "sim" : PortDevice(r)) : "";
      cli.Report("find-port", r, r != 0,
                 r != 0 ? fmt::format("modem found on port {} ({})", r, device) : "0 (no modem found)",
                 nlohmann::json::object(),
                 r != 0 ? nlohmann::json{{"device", device}} : nlohmann::json::object());
    });
  });
}

void AddAt(CLI::App& app, Cli& cli) {
  auto* cmd = app.add_subcommand("at", "Send one AT command and show the answer (raw exchange)");
  cmd->add_option("COMMAND", "the command, without its CR (for example \"AT+CSQ\")")->required();
  cmd->add_option("--timeout", "seconds to wait, 0 for 7 (or the global --timeout)")
      ->default_val(0)
      ->check(WholeNumber(0, 32767));
  cmd->add_option("--until", "what ends the wait: ok (a final result), info (a colon), prompt (\">\"), "
                             "line (a whole information line)")
      ->default_val("ok")
      ->check(CLI::IsMember({"ok", "info", "prompt", "line"}));
  cmd->callback([&cli, cmd] {
    cli.Run("at", true, [&cli, cmd] {
      const auto command = cmd->get_option("COMMAND")->as<std::string>();
      const auto own = cmd->get_option("--timeout")->as<std::int16_t>();
      const auto timeout = own > 0 ? own : cli.Timeout(0);
      const auto until = cmd->get_option("--until")->as<std::string>();
      const std::string line = Utf8ToCp1252(command);
      std::string response;
      bool r = false;
      if (until == "ok") r = channel::SendATCommand(line, response, timeout);
      else if (until == "info") r = channel::SendATForInfo(line, response, timeout);
      else if (until == "prompt") r = channel::SendATForPrompt(line, response, timeout);
      else r = channel::SendATForInfoLine(line, response, timeout);
      // The modem echoes the command: a PIN in it is not shown.
      const std::string text = PinMask().Apply(Cp1252ToUtf8(response));
      nlohmann::json details = nlohmann::json::object();
      if (const auto e = ErrorOfAnswer(response)) details["modemError"] = e->Json();
      cli.Report("at", r, r, fmt::format("{}: {}", r ? "true" : "false", EscapeControls(text)),
                 nlohmann::json{{"response", text}}, details);
    });
  });
}

}  // namespace

void AddModemCommands(CLI::App& app, Cli& cli) {
  AddInit(app, cli);
  AddBoolCommand(app, cli, "shutdown", "Close the port", &Modem::ShutDown, "true: port closed",
                 "false: the port was not open");
  AddBoolCommand(app, cli, "reboot", "Restart the radio (AT+CFUN=1, its answer within 60 s), then check the registration up to twelve "
                 "times, a second apart",
                 &Modem::Reboot, "true: registered again", "false: not registered after the restart");
  AddSignal(app, cli);
  AddTextCommand(app, cli, "operator", "Name of the network operator", &Modem::OperatorName,
                 "(no operator: not registered)");
  AddBoolCommand(app, cli, "registered", "Whether the modem is registered (home network or roaming)",
                 &Modem::IsConnectToGSM, "true: registered", "false: not registered");
  AddTextCommand(app, cli, "imsi", "The SIM's IMSI (WAVECOM modems only)", &Modem::GetIMSI,
                 "(no IMSI: not a WAVECOM modem, or no answer)");
  AddTextCommand(app, cli, "msisdn", "The SIM's own number (WAVECOM modems only)", &Modem::GetMSISDN,
                 "(no own number)");
  AddFindPort(app, cli);
  AddAt(app, cli);
}

}  // namespace quandelstk::cli
