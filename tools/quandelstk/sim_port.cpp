#include "sim_port.hpp"

#include "modemsim/scenario.hpp"
#include "modemsim/virtual_modem.hpp"
#include "platform/default_platform.hpp"
#include "platform/virtual_platform.hpp"

namespace quandelstk::cli {

std::shared_ptr<platform::VirtualPlatform> MakeSimulatorPlatform(const std::string& scenario_path, std::int16_t& port) {
  modemsim::Scenario scenario =
      scenario_path.empty() ? modemsim::Scenario() : modemsim::LoadScenarioFile(scenario_path);
  // Virtual time starts at the real local time, so that log records carry today's date; the files
  // beside the library are the real ones.
  const std::shared_ptr<Platform> real = platform::DefaultPlatform();
  auto sim = std::make_shared<platform::VirtualPlatform>(real->Now());
  sim->SetFolders(real->LibraryFolder(), real->LogFolder());
  sim->SetCodeTableFolders(real->CodeTableFolders());
  port = 1;
  sim->Attach(port, std::make_shared<modemsim::VirtualModem>(std::move(scenario)));
  return sim;
}

}  // namespace quandelstk::cli
