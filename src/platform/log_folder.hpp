// Where the daily log goes on POSIX: beside the library when its users may write there, else in
// the user's state folder. A library installed under /usr is not writable, and a log that cannot be
// written would make every caller that logs fail.
#pragma once

#include <string>

namespace quandelstk::platform {

// $XDG_STATE_HOME/quandelstk when that is an absolute path, else $HOME/.local/state/quandelstk
// (/tmp standing in for a missing HOME). The environment values may be null.
std::string ChooseLogFolder(const std::string& library_folder, bool library_writable,
                            const char* xdg_state_home, const char* home);

}  // namespace quandelstk::platform
