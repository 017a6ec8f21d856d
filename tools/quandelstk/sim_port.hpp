// The built-in simulated modem behind a virtual serial port, in virtual time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/virtual_platform.hpp"

namespace quandelstk::cli {

// A platform whose port (set in port) leads to the simulated modem, configured by the scenario file
// (empty: a healthy registered modem with a ready SIM). Throws with a clear message for a bad file.
std::shared_ptr<platform::VirtualPlatform> MakeSimulatorPlatform(const std::string& scenario_path, std::int16_t& port);

}  // namespace quandelstk::cli
