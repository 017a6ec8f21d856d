// list: the serial devices of the machine, with their stable /dev/serial/by-id names and the USB
// vendor and product sysfs knows, which programs have each open, and with --probe whether a modem
// answers on it and what it is. A port another program has open (any open, exclusive or not) or has
// locked with a UUCP lock file is shown as held and left alone: nothing is written to it. In the
// shell, the session's own port is shown as in use by it and not touched; the others are probed on a
// connection of their own, so the shell's stays open as it was.
#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <fmt/core.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <thread>

#include "answers.hpp"
#include "channel/exchange.hpp"
#include "channel/session.hpp"
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
  std::string probe;  // "", "answered", "silent", "held", "in use by this session", "failed: ..."
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

// The pseudo-terminal whose master side this descriptor is ("/dev/pts/N"), from its fdinfo.
std::string PtyOfMaster(const fs::path& proc, const std::string& fd) {
  std::ifstream in(proc / "fdinfo" / fd);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("tty-index:", 0) == 0) return "/dev/pts/" + std::to_string(std::atoi(line.c_str() + 10));
  return {};
}

// Every other process that has one of the devices open: its id and its name, by device. A process
// that also holds the master side of a pseudo-terminal is its far end (the modem behind it), not a
// program using the port. One walk over /proc for all of them, as a busy machine has many processes.
std::map<std::string, json> Holders(const std::vector<std::string>& devices) {
  std::map<std::string, json> holders;
  const std::string self = std::to_string(::getpid());
  std::error_code ec;
  for (const auto& proc : fs::directory_iterator("/proc", ec)) {
    const std::string pid = proc.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
    std::error_code fd_ec;
    std::set<std::string> seen, far_ends;
    for (const auto& fd : fs::directory_iterator(proc.path() / "fd", fd_ec)) {
      std::error_code link_ec;
      const std::string target = fs::read_symlink(fd.path(), link_ec).string();
      if (link_ec) continue;
      if (target == "/dev/ptmx" || target == "/dev/pts/ptmx")
        far_ends.insert(PtyOfMaster(proc.path(), fd.path().filename().string()));
      else if (std::find(devices.begin(), devices.end(), target) != devices.end())
        seen.insert(target);
    }
    for (const std::string& target : seen)
      if (!far_ends.count(target))
        holders[target].push_back({{"pid", std::stoi(pid)}, {"program", ReadLine(proc.path() / "comm")}});
  }
  return holders;
}

// The UUCP lock file a program such as minicom or cu leaves for the device, with the process id it
// holds (ASCII, or the older binary form) and that process's name; null when there is none.
json LockHolder(const std::string& device) {
  const std::string name = fs::path(device).filename().string();
  for (const char* dir : {"/var/lock", "/run/lock"}) {
    const fs::path lock = fs::path(dir) / ("LCK.." + name);
    std::error_code ec;
    if (!fs::exists(lock, ec)) continue;
    std::ifstream in(lock, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int pid = 0;
    if (text.size() == sizeof(std::int32_t) && text.find_first_of("0123456789") == std::string::npos) {
      std::int32_t binary = 0;
      std::copy(text.begin(), text.end(), reinterpret_cast<char*>(&binary));
      pid = binary;
    } else if (const auto b = text.find_first_of("0123456789"); b != std::string::npos) {
      pid = std::atoi(text.c_str() + b);
    }
    const std::string program = pid > 0 ? ReadLine(fs::path("/proc") / std::to_string(pid) / "comm") : "";
    return {{"pid", pid}, {"program", program.empty() ? "?" : program}, {"lockFile", lock.string()}};
  }
  return nullptr;
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

// Probe on a thread of its own: its own serial control on the same platform, so that a port this
// thread has open (the shell's) is neither re-pointed nor closed.
void ProbeApart(Cli& cli, Device& d, std::int16_t port) {
  channel::Session& here = channel::CurrentSession();
  const std::shared_ptr<Platform> platform = here.platform;
  const std::function<void()> hook = here.pending_events_hook;
  std::exception_ptr failure;
  std::thread([&] {
    try {
      ScopedPlatform scope(platform);
      SetPendingEventsHook(hook);
      Probe(cli, d, port);
    } catch (...) {
      failure = std::current_exception();
    }
  }).join();
  if (failure) std::rethrow_exception(failure);
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
  // The port the session has open (the shell's) is its own: never probed.
  std::string session_device;
  if (probe && channel::IsPortOpen())
    session_device = cli.OnSimulator() ? "sim" : Canonical(PortDevice(cli.PortNumber()));
  std::vector<std::string> paths;
  for (const Device& d : devices) paths.push_back(Canonical(d.path));
  auto holders = Holders(paths);
  for (Device& d : devices) {
    if (d.path != "sim") {
      d.usb = UsbOf(fs::path(Canonical(d.path)).filename().string());
      if (auto it = holders.find(Canonical(d.path)); it != holders.end()) d.holders = it->second;
      if (json lock = LockHolder(Canonical(d.path)); !lock.is_null()) d.holders.push_back(lock);
    }
    if (!probe) continue;
    if (!session_device.empty() && (d.path == "sim" ? d.path : Canonical(d.path)) == session_device) {
      d.probe = "in use by this session";
      continue;
    }
    if (!d.holders.empty()) {
      d.probe = "held";
      continue;
    }
    cli.out.Progress("probing " + d.path);
    if (d.path != "sim") AssignPort(kProbePort, d.path);
    const std::int16_t port = d.path == "sim" ? cli.PortNumber() : kProbePort;
    if (session_device.empty()) Probe(cli, d, port);
    else ProbeApart(cli, d, port);
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
      human += fmt::format("  {} {} (pid {})", h.contains("lockFile") ? "locked by" : "open in",
                           h["program"].get<std::string>(), h["pid"].get<int>());
    if (!d.modem.is_null())
      human += fmt::format("  modem: {} {}", d.modem["maker"].is_null() ? "?" : d.modem["maker"].get<std::string>(),
                           d.modem["model"].is_null() ? "" : d.modem["model"].get<std::string>());
    else if (d.probe == "held")
      human += "  held by another program: not probed";
    else if (d.probe == "in use by this session")
      human += "  in use by this session: not probed";
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
