// The messages this CLI sent, kept between runs so that a status report read later can be shown
// against the message it is about: $XDG_STATE_HOME/quandelstk/sent-messages.json (default
// ~/.local/state/quandelstk), the latest 500.
#pragma once

#include <string>
#include <vector>

#include "quandelstk/messages.hpp"

namespace quandelstk::cli {

std::vector<messages::SentMessage> LoadSentMessages();
// Appends one; a journal that cannot be written only costs the matching, so that is a warning.
void RememberSent(const messages::SentMessage& sent, std::string& warning);

}  // namespace quandelstk::cli
