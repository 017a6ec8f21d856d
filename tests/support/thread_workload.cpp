#include "support/thread_workload.hpp"

#include <sys/resource.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "quandelstk/modem.hpp"
#include "quandelstk/platform.hpp"
#include "quandelstk/sms.hpp"
#include "support/sim_process.hpp"

namespace quandelstk::testing {

namespace {

constexpr std::int16_t kFirstPort = 400;

// The command lines a simulator heard: the CRs in what its transcript says it received.
std::int64_t LinesHeard(const SimProcess& sim) {
  std::istringstream transcript(sim.TranscriptText());
  std::int64_t lines = 0;
  for (std::string record; std::getline(transcript, record);) {
    const std::size_t rx = record.find(" rx \"");
    if (rx == std::string::npos) continue;
    for (std::size_t i = rx + 5; i + 1 < record.size(); ++i)
      if (record[i] == '\\' && record[++i] == 'r') ++lines;
  }
  return lines;
}

double ProcessCpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string Two(int i) { return (i < 10 ? "0" : "") + std::to_string(i); }

// What modem i answers: its own IMSI, number, operator and signal.
struct Identity {
  std::string imsi, msisdn, operator_name;
  std::int16_t level;
  int signal;
};
Identity IdentityOf(int i) {
  const int signal = 2 + i % 29;  // levels: 2..30 read as 2; two modems read 31 (3)
  return {"0010100000000" + Two(i), "+155501010" + Two(i), "Operator " + Two(i),
          static_cast<std::int16_t>(i % 16 == 15 ? 3 : 2), i % 16 == 15 ? 31 : signal};
}

void RunOne(int i, int rounds, std::mutex& m, std::vector<std::string>& mistakes) {
  auto mistake = [&](const std::string& what) {
    std::lock_guard lock(m);
    mistakes.push_back("modem " + std::to_string(i) + ": " + what);
  };
  const Identity me = IdentityOf(i);
  const auto port = static_cast<std::int16_t>(kFirstPort + i);
  SMS sms;  // one for the whole run: destroying one closes the port
  for (int round = 0; round < rounds; ++round) {
    Modem modem;
    if (modem.Init(port) != InitStatus::OK) {
      mistake("Init failed in round " + std::to_string(round));
      continue;
    }
    if (const auto imsi = modem.GetIMSI(); imsi != me.imsi) mistake("IMSI " + imsi);
    if (const auto number = modem.GetMSISDN(); number != me.msisdn) mistake("own number " + number);
    if (const auto name = modem.OperatorName(); name != me.operator_name) mistake("operator " + name);
    if (const auto level = modem.SignalStrength(); level != me.level) mistake("signal " + std::to_string(level));
    const std::string text = "thread " + std::to_string(i) + " round " + std::to_string(round);
    if (!sms.SendSMSText(me.msisdn, text)) mistake("send failed in round " + std::to_string(round));
    // The message comes back to the SIM's own number a moment later.
    bool read = false;
    for (int attempt = 0; attempt < 20 && !read; ++attempt) {
      read = sms.ReadSMSText();
      if (!read) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!read) mistake("nothing to read in round " + std::to_string(round));
    else if (sms.Msg() != text || sms.MN() != me.msisdn) mistake("read \"" + sms.Msg() + "\" from " + sms.MN());
    modem.ShutDown();
  }
}

}  // namespace

ThreadRunFigures RunModemsOnThreads(int threads, int rounds) {
  ThreadRunFigures figures;
  figures.threads = threads;
  figures.rounds = rounds;
  std::vector<std::unique_ptr<SimProcess>> sims;
  for (int i = 0; i < threads; ++i) {
    const Identity me = IdentityOf(i);
    sims.push_back(std::make_unique<SimProcess>(
        R"({"sim": {"imsi": ")" + me.imsi + R"(", "msisdn": ")" + me.msisdn + R"("}, "network": {"operator": ")" +
        me.operator_name + R"(", "signal": )" + std::to_string(me.signal) + R"(}, "sms": {"loopback_delay_ms": 50}})",
        true));
    AssignPort(static_cast<std::int16_t>(kFirstPort + i), sims.back()->DevicePath());
  }
  std::mutex m;
  const double cpu_before = ProcessCpuSeconds();
  const auto started = std::chrono::steady_clock::now();
  std::vector<std::thread> pool;
  for (int i = 0; i < threads; ++i)
    pool.emplace_back([&, i] { RunOne(i, rounds, m, figures.mistakes); });
  for (auto& t : pool) t.join();
  figures.wall_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  figures.cpu_seconds = ProcessCpuSeconds() - cpu_before;
  for (const auto& sim : sims) figures.exchanges += LinesHeard(*sim);
  return figures;
}

}  // namespace quandelstk::testing
