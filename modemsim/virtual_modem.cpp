#include "modemsim/virtual_modem.hpp"

#include <cstdlib>

namespace quandelstk::modemsim {

namespace {
long BaudOf(const std::string& settings) { return std::strtol(settings.c_str(), nullptr, 10); }
}  // namespace

VirtualModem::VirtualModem(Scenario scenario) : model_(std::move(scenario)) { model_.Close(0); }

void VirtualModem::Open(const std::string& settings, platform::TimeMs now) { model_.Open(BaudOf(settings), now); }

void VirtualModem::Settings(const std::string& settings, platform::TimeMs now) {
  model_.Speed(BaudOf(settings), now);
}

}  // namespace quandelstk::modemsim
