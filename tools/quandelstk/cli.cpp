#include "cli.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include <fmt/core.h>

#include "channel/exchange.hpp"
#include "charset.hpp"
#include "device_check.hpp"
#include "error_watch.hpp"
#include "modem_errors.hpp"
#include "observed_platform.hpp"
#include "platform/default_platform.hpp"
#include "progress.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/modem.hpp"
#include "quandelstk/sms.hpp"
#include "quandelstk/stk.hpp"
#include "sim_port.hpp"

namespace quandelstk::cli {

namespace {

// The port number a device path given with --port is entered under in the port table.
constexpr std::int16_t kDevicePathPort = 1000;

bool IsNumber(const std::string& s) {
  return !s.empty() && s.size() <= 5 && s.find_first_not_of("0123456789") == std::string::npos;
}

std::int16_t ParsePortNumber(const std::string& s, const std::string& what) {
  if (!IsNumber(s) || std::stol(s) < 1 || std::stol(s) > 32767)
    throw UsageError(what + ": \"" + s + "\" is not a port number (1 to 32767)");
  return static_cast<std::int16_t>(std::stol(s));
}

void RequireDevice(const std::string& path, const std::string& what) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    throw UsageError(what + ": the device " + path + " does not exist; check the cable, or list /dev/ttyUSB* and /dev/ttyACM*");
}

}  // namespace

Cli::Cli(Output& output) : out(output) {}

// The SMS object goes before the platform it closes its port on.
Cli::~Cli() {
  sms_.reset();
  scope_.reset();
}

SMS& Cli::Sms() {
  if (!sms_) sms_ = std::make_unique<SMS>();
  return *sms_;
}

SIMToolKit& Cli::Toolkit() {
  if (!toolkit_) toolkit_ = std::make_unique<SIMToolKit>();
  return *toolkit_;
}

const char* InitStatusName(InitStatus status) {
  switch (status) {
    case InitStatus::Fail: return "Fail";
    case InitStatus::OK: return "OK";
    case InitStatus::PINRequired: return "PINRequired";
    case InitStatus::PINWrong: return "PINWrong";
    case InitStatus::SIMBlocked: return "SIMBlocked";
    case InitStatus::SIMError: return "SIMError";
  }
  return "Unknown";
}

CLI::Validator PhoneNumber(NumberUse use) {
  return CLI::Validator([use](std::string& s) { return NumberProblem(s, use); }, "NUMBER");
}

namespace {

// A PIN is 4 to 8 digits, from whichever source it comes: anything else (a quote, a line end) would
// break or add to the command it is sent in. Never shown: a wrong one is told by where it came from.
std::string CheckedPin(std::string pin, const std::string& source) {
  if (pin.size() < 4 || pin.size() > 8 || pin.find_first_not_of("0123456789") != std::string::npos)
    throw UsageError(source + " is not a PIN (4 to 8 digits)");
  return pin;
}

}  // namespace

std::string Cli::Pin() {
  if (!opts.pin.empty()) return CheckedPin(opts.pin, "--pin");
  if (!opts.pin_file.empty()) {
    std::ifstream in(opts.pin_file);
    std::string line;
    if (!in || !std::getline(in, line))
      throw UsageError("--pin-file: cannot read " + opts.pin_file);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return CheckedPin(line, "--pin-file: the first line of " + opts.pin_file);
  }
  if (const char* env = std::getenv("QUANDELSTK_PIN"); env && *env) return CheckedPin(env, "QUANDELSTK_PIN");
  return {};
}

std::optional<nlohmann::json> Cli::LastModemError() const {
  if (!watch_ || !watch_->Last()) return std::nullopt;
  return watch_->Last()->Json();
}

CLI::Validator WholeNumber(int lo, int hi) {
  return CLI::Validator(
      [lo, hi](std::string& s) -> std::string {
        if (!IsNumber(s.substr(s[0] == '-' || s[0] == '+' ? 1 : 0)))
          return "\"" + s + "\" is not a whole number";
        const long v = std::stol(s);
        if (v < lo || v > hi) return fmt::format("{} is outside {} to {}", s, lo, hi);
        return {};
      },
      fmt::format("INT in [{} - {}]", lo, hi));
}

void Cli::PortFromEnvironment() {
  if (opts.port.empty())
    if (const char* env = std::getenv("QUANDELSTK_PORT"); env && *env) opts.port = env;
}

bool Cli::OnSimulatorPort() {
  PortFromEnvironment();
  return opts.port == "sim" || opts.port.rfind("sim:", 0) == 0;
}

void Cli::Connect(bool search) {
  if (scope_) return;
  for (const std::string& a : opts.assign) {
    const auto eq = a.find('=');
    if (eq == std::string::npos) throw UsageError("--assign: \"" + a + "\" is not of the form N=/dev/PATH");
    AssignPort(ParsePortNumber(a.substr(0, eq), "--assign"), a.substr(eq + 1));
  }

  std::shared_ptr<Platform> platform;
  PortFromEnvironment();
  const std::string& port = opts.port;
  if (search && port.empty()) {
    platform = platform::DefaultPlatform();
  } else if (port.empty() || port == "sim" || port.rfind("sim:", 0) == 0) {
    const std::string scenario = port.size() > 4 ? port.substr(4) : "";
    try {
      sim_ = MakeSimulatorPlatform(scenario, port_number_);
    } catch (const std::exception& e) {
      throw UsageError(std::string("--port sim: ") + e.what());
    }
    platform = sim_;
  } else if (port[0] == '/') {
    RequireDevice(port, "--port");
    AssignPort(kDevicePathPort, port);
    port_number_ = kDevicePathPort;
    platform = platform::DefaultPlatform();
  } else {
    port_number_ = ParsePortNumber(port, "--port");
    const std::string device = PortDevice(port_number_);
    if (device.empty())
      throw UsageError("--port: port " + port + " has no device; give a device path or map it with --assign " + port +
                       "=/dev/PATH");
    RequireDevice(device, "--port " + port);
    platform = platform::DefaultPlatform();
  }

  // A device that cannot be used is named as such before Init would take it for a silent modem.
  if (!sim_ && !search) CheckSerialDevice(PortDevice(port_number_));

  watch_ = std::make_shared<ErrorWatch>();
  std::shared_ptr<LineObserver> observer =
      std::make_shared<BothObservers>(std::make_shared<ProgressObserver>(out), watch_);
  if (opts.trace) observer = std::make_shared<BothObservers>(observer, std::make_shared<TraceObserver>());
  scope_ = std::make_unique<ScopedPlatform>(std::make_shared<ObservedPlatform>(platform, observer));
}

void Cli::CatchUpSimulatedTime() {
  const auto now = std::chrono::steady_clock::now();
  if (sim_) sim_->Advance(std::chrono::duration_cast<std::chrono::milliseconds>(now - last_real_time_).count());
  last_real_time_ = now;
}

bool Cli::Initialise(bool again) {
  if (initialised_ && (!again || channel::IsPortOpen())) return true;
  Connect();
  if (watch_) watch_->Forget();
  const InitStatus status = Modem().Init(port_number_, Utf8ToCp1252(Pin()));
  if (status == InitStatus::OK) {
    initialised_ = true;
    return true;
  }
  std::string why;
  switch (status) {
    case InitStatus::PINRequired: why = "the SIM waits for its PIN; give it with --pin"; break;
    case InitStatus::PINWrong: why = "the SIM refused the PIN; check it (three wrong PINs block the SIM)"; break;
    case InitStatus::SIMBlocked: why = "the SIM is blocked and waits for its PUK; unblock it in a phone"; break;
    case InitStatus::SIMError: why = "the SIM did not answer usably; check that one is inserted"; break;
    default: why = "the modem did not answer or refused its set-up; check the port, the cable and its power (--trace shows the line)"; break;
  }
  nlohmann::json error = {{"kind", "init"}, {"description", why}};
  if (const auto modem_error = LastModemError()) error["modem"] = *modem_error;
  if (out.Structured()) {
    out.Result("init", InitStatusName(status), nlohmann::json::object(), "", nlohmann::json::object(), error);
  } else {
    fmt::print(stderr, "quandelstk: Init returned {}: {}\n", InitStatusName(status), why);
    if (watch_ && watch_->Last()) fmt::print(stderr, "  the modem said {}\n", watch_->Last()->Text());
  }
  exit_code = kFailureValue;
  return false;
}

void Cli::Run(const std::string& command, bool needs_modem, const std::function<void()>& body) {
  out.json = opts.json;
  out.keyvalue = opts.keyvalue;
  out.quiet = opts.quiet;
  try {
    if (needs_modem && !Initialise()) return;
    // Only what the command's own exchanges answer counts, not what Init met on its way.
    if (watch_) watch_->Forget();
    body();
  } catch (const RuntimeError& e) {
    out.Error(command, e.Number(), Cp1252ToUtf8(e.Description()));
    exit_code = kRuntimeError;
  } catch (const CharsetError& e) {
    out.UsageError(command, e.what());
    exit_code = kUsage;
  } catch (const UsageError& e) {
    out.UsageError(command, e.what());
    exit_code = kUsage;
  }
}

void Cli::Report(const std::string& command, const nlohmann::json& result, bool success, const std::string& human,
                 const nlohmann::json& properties, const nlohmann::json& details,
                 const std::optional<ModemError>& error) {
  std::optional<ModemError> named = error;
  if (!named && !success && watch_) named = watch_->Last();
  if (success && !error) named.reset();
  out.Result(command, result, properties, human, details, named ? named->Json() : nlohmann::json(nullptr));
  if (named && !out.Structured()) fmt::print(stderr, "quandelstk {}: the modem said {}\n", command, named->Text());
  exit_code = success ? kSuccess : kFailureValue;
}

bool Cli::OpenLine() {
  Connect();
  if (channel::IsPortOpen()) return true;
  static constexpr const char* kSpeeds[] = {"115200,N,8,1", "9600,N,8,1"};
  SerialControl& line = channel::Gsm();
  line.CommPort(port_number_);
  for (const char* speed : kSpeeds) {
    if (line.PortOpen()) line.PortOpen(false);
    line.Settings(speed);
    line.PortOpen(true);
    std::string answer;
    if (channel::SendATCommand("AT", answer, Timeout(2))) return true;
  }
  line.PortOpen(false);
  const std::string why = "no modem answered \"AT\"; check the port, the cable and its power (--trace shows the line)";
  if (out.Structured())
    out.Result("init", "Fail", nlohmann::json::object(), "", nlohmann::json::object(),
               {{"kind", "init"}, {"description", why}});
  else
    fmt::print(stderr, "quandelstk: {}\n", why);
  exit_code = kFailureValue;
  return false;
}

}  // namespace quandelstk::cli
