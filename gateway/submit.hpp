// What every way into the queue checks before anything is stored: the CLI, the HTTP API.
#pragma once

#include <optional>
#include <string>

#include "quandelstk/messages.hpp"
#include "store/store.hpp"

namespace quandelstk::gateway {

// How the gateway sends: 16-bit concatenation references, so that a number can have 65,536 long
// messages under way before a reference comes round again (with 8 bits, two long messages 256
// apart would be joined into one by a phone that holds both).
messages::SendOptions SendOptionsFor(bool report, int concat_reference);

struct Submission {
  std::string to;
  std::string text;
  bool report = false;
  std::string at;       // "" now; "YYYY-MM-DDTHH:MM[:SS][Z|+HH:MM]" or seconds since the epoch
  std::string expires;  // "" never; a time as for at: not sent after it (the state becomes expired)
};

// The message to queue, or the reason it cannot be (a sentence a person can act on).
struct Checked {
  std::optional<NewMessage> message;
  std::string error;
};
Checked Check(const Submission& s);

// "2026-12-06T21:00", "2026-12-06 21:00:00Z", "...+01:00" or "1796245200": ms since the epoch.
// A time without a zone is UTC. None when the text is no such time.
std::optional<std::int64_t> ParseTime(const std::string& text);
// ms since the epoch as "2026-12-06 21:00:00Z"; "" for 0.
std::string FormatTime(std::int64_t ms);

}  // namespace quandelstk::gateway
