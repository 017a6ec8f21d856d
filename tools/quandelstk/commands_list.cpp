// list: the serial devices of the machine, with their stable /dev/serial/by-id names and the USB
// vendor and product sysfs knows, which programs have each open, and with --probe whether a modem
// answers on it and what it is. A port another program holds for itself (an exclusive open, as
// this library and ModemManager take) is shown as held and left alone.
#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <fmt/core.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "answers.hpp"
#include "channel/exchange.hpp"
#include "cli.hpp"
#include "charset.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/platform.hpp"

namespace quandelstk::cli {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The port number a probed device is entered under in the port table for the time of its probe.
constexpr std::int16_t kProbePort = 1001;

std::string ReadLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string Canonical(const std::string& path) {
  std::error_code ec;
  const fs::path p = fs::canonical(path, ec);
  return ec ? path : p.string();
}

struct Device {
  explicit Device(std::string p) : path(std::move(p)) {}
  std::string path;
  std::vector<std::string> by_id;
  json usb = nullptr;
  json holders = json::array();
  json modem = nullptr;
  std::string probe;  // "", "answered", "silent", "held", "failed: ..."
};

// ttyS ports are there whether or not a UART is behind them; the 8250 driver's unused ones have no
// hardware, and the kernel reports them as type 0 ("unknown").
bool HasHardware(const std::string& name) {
  const fs::path tty = fs::path("/sys/class/tty") / name;
  std::error_code ec;
  if (!fs::exists(tty / "device", ec)) return false;
  if (name.rfind("ttyS", 0) == 0) return ReadLine(tty / "type") != "0";
  return true;
}

// The USB device above the tty in sysfs: vendor and product ids and names.
json UsbOf(const std::string& name) {
  std::error_code ec;
  fs::path dir = fs::canonical(fs::path("/sys/class/tty") / name / "device", ec);
  if (ec) return nullptr;
  for (; dir.has_relative_path() && dir != dir.root_path(); dir = dir.parent_path()) {
    if (!fs::exists(dir / "idVendor", ec)) continue;
    const auto text = [&](const char* file) {
      const std::string s = ReadLine(dir / file);
      return s.empty() ? json(nullptr) : json(s);
    };
    return {{"vendorId", text("idVendor")}, {"productId", text("idProduct")},
            {"manufacturer", text("manufacturer")}, {"product", text("product")}};
  }
  return nullptr;
}

// Every other process that has one of the devices open: its id and its name, by device. One walk
// over /proc for all of them, as a busy machine has many processes.
std::map<std::string, json> Holders(const std::vector<std::string>& devices) {
  std::map<std::string, json> holders;
  const std::string self = std::to_string(::getpid());
  std::error_code ec;
  for (const auto& proc : fs::directory_iterator("/proc", ec)) {
    const std::string pid = proc.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
    std::error_code fd_ec;
    std::set<std::string> seen;
    for (const auto& fd : fs::directory_iterator(proc.path() / "fd", fd_ec)) {
      std::error_code link_ec;
      const std::string target = fs::read_symlink(fd.path(), link_ec).string();
      if (link_ec || std::find(devices.begin(), devices.end(), target) == devices.end() || !seen.insert(target).second)
        continue;
      holders[target].push_back({{"pid", std::stoi(pid)}, {"program", ReadLine(proc.path() / "comm")}});
    }
  }
  return holders;
}

std::vector<Device> MachineDevices() {
  std::vector<Device> devices;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/sys/class/tty", ec)) {
    const std::string name = entry.path().filename().string();
    if (!HasHardware(name)) continue;
    if (!fs::exists("/dev/" + name, ec)) continue;
    devices.emplace_back("/dev/" + name);
  }
  std::sort(devices.begin(), devices.end(), [](const Device& a, const Device& b) { return a.path < b.path; });
  return devices;
}

void AddByIdNames(std::vector<Device>& devices) {
  std::error_code ec;
  for (const auto& link : fs::directory_iterator("/dev/serial/by-id", ec)) {
    const std::string target = Canonical(link.path().string());
    for (Device& d : devices)
      if (Canonical(d.path) == target) d.by_id.push_back(link.path().string());
  }
}

// One "AT" with a short wait, then the maker and model: each through the exchange primitives.
void Probe(Cli& cli, Device& d, std::int16_t port) {
  SerialControl& line = channel::Gsm();
  try {
    line.CommPort(port);
    line.Settings("115200,N,8,1");
    line.PortOpen(true);
    std::string answer;
    if (!channel::SendATCommand("AT", answer, cli.Timeout(1))) {
      d.probe = "silent";
    } else {
      d.probe = "answered";
      const auto ask = [&](const char* command) {
        std::string text;
        return channel::SendATCommand(command, text, cli.Timeout(1))
                   ? json(Cp1252ToUtf8(answers::IdentityValue(answers::InfoLines(text, command))))
                   : json(nullptr);
      };
      d.modem = {{"maker", ask("AT+CGMI")}, {"model", ask("AT+CGMM")}};
    }
  } catch (const RuntimeError& e) {
    // Another program opened it for itself: its modem is not ours to disturb.
    d.probe = e.Number() == 8005 ? "held" : "failed: " + Cp1252ToUtf8(e.Description());
  }
  try {
    if (line.PortOpen()) line.PortOpen(false);
  } catch (const RuntimeError&) {
  }
}

void List(Cli& cli, const std::vector<std::string>& extra, bool probe) {
  std::vector<Device> devices;
  if (cli.OnSimulatorPort()) {
    devices.emplace_back("sim");
  } else {
    devices = MachineDevices();
    for (const std::string& path : extra)
      if (std::none_of(devices.begin(), devices.end(), [&](const Device& d) { return d.path == path; }))
        devices.emplace_back(path);
    AddByIdNames(devices);
  }
  if (probe) cli.Connect(!cli.OnSimulatorPort());
  std::vector<std::string> paths;
  for (const Device& d : devices) paths.push_back(Canonical(d.path));
  auto holders = Holders(paths);
  for (Device& d : devices) {
    if (d.path != "sim") {
      d.usb = UsbOf(fs::path(Canonical(d.path)).filename().string());
      if (auto it = holders.find(Canonical(d.path)); it != holders.end()) d.holders = it->second;
    }
    if (!probe) continue;
    cli.out.Progress("probing " + d.path);
    if (d.path == "sim") {
      Probe(cli, d, cli.PortNumber());
    } else {
      AssignPort(kProbePort, d.path);
      Probe(cli, d, kProbePort);
    }
  }

  json r = json::array();
  std::string human;
  for (const Device& d : devices) {
    r.push_back({{"device", d.path}, {"byId", d.by_id}, {"usb", d.usb}, {"heldBy", d.holders},
                 {"probe", d.probe.empty() ? json(nullptr) : json(d.probe)}, {"modem", d.modem}});
    human += d.path;
    for (const auto& id : d.by_id) human += "  " + id;
    if (!d.usb.is_null())
      human += fmt::format("  USB {}:{} {}", d.usb["vendorId"].is_null() ? "?" : d.usb["vendorId"].get<std::string>(),
                           d.usb["productId"].is_null() ? "?" : d.usb["productId"].get<std::string>(),
                           d.usb["product"].is_null() ? "" : d.usb["product"].get<std::string>());
    for (const auto& h : d.holders)
      human += fmt::format("  open in {} (pid {})", h["program"].get<std::string>(), h["pid"].get<int>());
    if (!d.modem.is_null())
      human += fmt::format("  modem: {} {}", d.modem["maker"].is_null() ? "?" : d.modem["maker"].get<std::string>(),
                           d.modem["model"].is_null() ? "" : d.modem["model"].get<std::string>());
    else if (d.probe == "held")
      human += "  held by another program: not probed";
    else if (!d.probe.empty())
      human += "  " + (d.probe == "silent" ? std::string("no modem answers") : d.probe);
    human += "\n";
  }
  if (devices.empty()) human = "no serial devices found\n";
  human.pop_back();
  cli.Report("list", r, true, human);
}

}  // namespace

void AddListCommand(CLI::App& app, Cli& cli) {
  auto* cmd = app.add_subcommand(
      "list", "Every serial device of the machine: /dev/serial/by-id names, USB vendor and product, the program that "
              "holds it; --probe asks each free one for a modem (one \"AT\", short wait) and its maker and model");
  auto extra = std::make_shared<std::vector<std::string>>();
  cmd->add_option("DEVICE", *extra, "further devices to look at (a pseudo-terminal, say)");
  cmd->add_flag("--probe")->description("try each device that no program holds");
  cmd->callback([&cli, cmd, extra] {
    cli.Run("list", false, [&cli, cmd, extra] { List(cli, *extra, cmd->get_option("--probe")->as<bool>()); });
  });
}

}  // namespace quandelstk::cli
