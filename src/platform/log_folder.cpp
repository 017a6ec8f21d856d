#include "platform/log_folder.hpp"

namespace quandelstk::platform {

std::string ChooseLogFolder(const std::string& library_folder, bool library_writable,
                            const char* xdg_state_home, const char* home) {
  if (library_writable) return library_folder;
  // A relative XDG_STATE_HOME is invalid and ignored, as the base-directory rules say.
  if (xdg_state_home && xdg_state_home[0] == '/') return std::string(xdg_state_home) + "/quandelstk";
  return std::string(home && home[0] ? home : "/tmp") + "/.local/state/quandelstk";
}

}  // namespace quandelstk::platform
