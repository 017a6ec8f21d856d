#include "progress.hpp"

#include <fmt/core.h>

#include <cctype>
#include <sstream>
#include <string_view>
#include <vector>

#include "charset.hpp"

namespace quandelstk::cli {

namespace {

std::string BaudOf(const std::string& settings) { return settings.substr(0, settings.find(',')); }

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

void ProgressObserver::Wrote(const std::string& bytes, const std::string& settings) {
  std::string line = bytes;
  while (!line.empty() && line.back() == '\r') line.pop_back();
  if (line == "AT" && probing_) {
    out_.Progress(fmt::format("probing the modem at {} baud (attempt {} of 4)", BaudOf(settings), ++probe_attempts_));
  } else if (line == "AT+CGMI") {
    probe_attempts_ = 0;
    out_.Progress("asking the modem for its maker");
  } else if (line == "AT+CPIN?") {
    if (last_command_ != line) out_.Progress("asking the SIM whether it waits for a PIN");
  } else if (StartsWith(line, "AT+CPIN=")) {
    out_.Progress("entering the PIN");
  } else if (line == "AT+CSMS=0") {
    // Only an attempt after the not-ready pause is a retry: the toolkit's restore starts over at once.
    if (last_command_ != line || !paused_after_csms_) csms_attempts_ = 0;
    paused_after_csms_ = false;
    ++csms_attempts_;
    if (csms_attempts_ == 1) out_.Progress("selecting the message service");
  } else if (line == "AT+CSDH=1") {
    csms_attempts_ = 0;
    out_.Progress("setting text mode and new-message indications");
  } else if (line == "AT+CGSN") {
    if (last_command_ != line) out_.Progress("reading the IMEI three times, 1 s apart");
  } else if (line == "AT+STGI=11") {
    out_.Progress(fmt::format("asking the SIM for its main menu (attempt {} of 8)", ++menu_attempts_));
  } else if (line == "AT+CFUN=1" && menu_attempts_ > 0) {
    out_.Progress("no menu yet: restarting the radio, after which the SIM sends it");
  } else if (line == "AT+CFUN=1") {
    registration_checks_ = 0;
    rebooting_ = true;
    out_.Progress("restarting the radio (its answer within 60 s), then up to twelve registration checks");
  } else if (StartsWith(line, "AT+CMGS=")) {
    out_.Progress(fmt::format("submitting message {}", ++parts_sent_));
  } else if (StartsWith(line, "ATD")) {
    out_.Progress("dialling " + Cp1252ToUtf8(line.substr(3)));
  }
  if (line != "AT+CFUN=1" && line != "AT+CREG?") rebooting_ = false;
  if (line != "AT+STGI=11" && line != "AT+STGI=0" && line != "AT+CFUN=1") menu_attempts_ = 0;
  if (line != "AT") probing_ = false;
  if (!line.empty() && StartsWith(line, "AT")) last_command_ = line;
}

void ProgressObserver::Slept(std::int32_t ms) {
  if (last_command_ == "AT+CSMS=0" && ms == 7000) {
    paused_after_csms_ = true;
    out_.Progress(fmt::format("message service not ready yet; retrying in 7 s (attempt {} of 12)", csms_attempts_));
  } else if (rebooting_ && ms == 1000) {
    out_.Progress(fmt::format("registration check {} of 12, a second apart", ++registration_checks_));
  } else if (ms >= 2000) {
    out_.Progress(fmt::format("waiting {} s", ms / 1000));
  }
}

void TraceObserver::Opened(std::int16_t port, const std::string& settings) {
  fmt::print(stderr, "== port {} open at {}\n", port, settings);
}

void TraceObserver::Closed(std::int16_t port) { fmt::print(stderr, "== port {} closed\n", port); }

std::string PinMask::Apply(const std::string& bytes) {
  // Entering, changing and the lock all carry the PIN (or the PUK); all markers are 6 long.
  static constexpr std::string_view kMarkers[] = {"+CPIN=", "+CPWD=", "+CLCK="};
  static constexpr std::size_t kLength = 6;
  std::string out;
  for (char c : bytes) {
    if (in_pin_ && c != '\r' && c != '\n' && c != '"' && c != '\'' && c != ',') {
      out += '*';
      continue;
    }
    if (c == '\r' || c == '\n') in_pin_ = false;
    out += c;
    tail_ += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (tail_.size() > kLength) tail_.erase(0, tail_.size() - kLength);
    for (std::string_view marker : kMarkers)
      if (tail_ == marker) in_pin_ = true;
  }
  return out;
}

std::string WithoutPins(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string w; in >> w;) words.push_back(w);
  bool pin_command = false, secret_next = false;
  std::string out;
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::string w = words[i];
    if (secret_next) {
      w = "****";
      secret_next = false;
    } else if (w == "--pin" || w == "--pin-file") {
      secret_next = true;
    } else if (w.rfind("--pin=", 0) == 0 || w.rfind("--pin-file=", 0) == 0) {
      w = w.substr(0, w.find('=') + 1) + "****";
    } else if (i > 0 && words[i - 1] == "pin" && (w == "enter" || w == "change" || w == "unblock" || w == "lock")) {
      pin_command = true;
    } else if (pin_command && w.find_first_not_of("0123456789'\"") == std::string::npos) {
      w = "****";
    } else {
      w = PinMask().Apply(w);
    }
    out += (out.empty() ? "" : " ") + w;
  }
  return out;
}

void TraceObserver::Wrote(const std::string& bytes, const std::string&) {
  fmt::print(stderr, "-> {}\n", EscapeControls(written_.Apply(bytes)));
}

// The modem echoes what it was sent, the PIN included.
void TraceObserver::Read(const std::string& bytes) { fmt::print(stderr, "<- {}\n", EscapeControls(read_.Apply(bytes))); }

void TraceObserver::Slept(std::int32_t ms) { fmt::print(stderr, "== pause {} ms\n", ms); }

}  // namespace quandelstk::cli
