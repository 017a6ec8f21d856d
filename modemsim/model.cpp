#include "modemsim/model.hpp"

#include <algorithm>
#include <cctype>

namespace quandelstk::modemsim {

namespace {

constexpr char kCtrlZ = 26;
constexpr char kEsc = 27;

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Splits what follows "AT" into V.250 commands: basic ones ("E0", "&F", "S0=0", "D..."), and
// extended ones ("+CMGF=1") separated by ';'. nullopt for text that is no command.
std::optional<std::vector<Command>> Parse(std::string_view s) {
  std::vector<Command> out;
  std::size_t i = 0;
  auto digits = [&](std::size_t from) {
    while (from < s.size() && std::isdigit(static_cast<unsigned char>(s[from]))) ++from;
    return from;
  };
  while (i < s.size()) {
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
    Command cmd;
    if (c == ' ' || c == ';') {
      ++i;
      continue;
    }
    if (c == '+' || c == '%' || c == '^' || c == '$') {
      std::size_t j = i + 1;
      while (j < s.size() && std::isalnum(static_cast<unsigned char>(s[j]))) ++j;
      cmd.name = Upper(s.substr(i, j - i));
      std::size_t k = j;
      for (bool quoted = false; k < s.size() && (quoted || s[k] != ';'); ++k)
        if (s[k] == '"') quoted = !quoted;
      const std::string_view tail = s.substr(j, k - j);
      if (tail.substr(0, 2) == "=?") {
        cmd.kind = Command::Kind::kTest;
      } else if (tail.substr(0, 1) == "?") {
        cmd.kind = Command::Kind::kRead;
      } else if (tail.substr(0, 1) == "=") {
        cmd.kind = Command::Kind::kSet;
        cmd.args = std::string(tail.substr(1));
      } else if (!tail.empty()) {
        return std::nullopt;
      }
      i = k;
    } else if (c == 'D') {
      cmd.name = "D";
      cmd.args = std::string(s.substr(i + 1));
      i = s.size();
    } else if (c == '&' && i + 1 < s.size() && std::isalpha(static_cast<unsigned char>(s[i + 1]))) {
      cmd.name = Upper(s.substr(i, 2));
      const std::size_t j = digits(i + 2);
      cmd.args = std::string(s.substr(i + 2, j - i - 2));
      i = j;
    } else if (c == 'S' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1]))) {
      const std::size_t j = digits(i + 1);
      cmd.name = "S";
      if (j < s.size() && s[j] == '?') {
        cmd.kind = Command::Kind::kRead;
        i = j + 1;
      } else if (j < s.size() && s[j] == '=') {
        cmd.kind = Command::Kind::kSet;
        i = digits(j + 1);
        cmd.args = std::string(s.substr(j + 1, i - j - 1));
      } else {
        i = j;
      }
    } else if (std::isalpha(static_cast<unsigned char>(c))) {
      cmd.name = std::string(1, c);
      const std::size_t j = digits(i + 1);
      cmd.args = std::string(s.substr(i + 1, j - i - 1));
      i = j;
    } else {
      return std::nullopt;
    }
    out.push_back(std::move(cmd));
  }
  return out;
}

// The scenario entry for a line: an exact pattern first, else the longest prefix pattern; of equals
// the later one (the scenario file's over the defaults).
template <typename T>
const T* BestMatch(const std::vector<std::pair<std::string, T>>& entries, const std::string& line) {
  const T* best = nullptr;
  std::size_t best_rank = 0;
  for (const auto& [pattern, value] : entries) {
    if (!LineMatches(pattern, line)) continue;
    const std::size_t rank = pattern == line ? std::string::npos : pattern.size();
    if (!best || rank >= best_rank) best = &value, best_rank = rank;
  }
  return best;
}

}  // namespace

Model::Model(Scenario scenario)
    : scenario_(std::make_unique<const Scenario>(std::move(scenario))),
      core_(*scenario_),
      device_(core_),
      messaging_(core_),
      calls_(core_),
      ussd_(core_),
      phonebook_(core_),
      toolkit_(core_),
      after_fired_(scenario_->unsolicited.size(), false) {
  const std::initializer_list<Service*> services = {&device_, &messaging_, &calls_,
                                                    &ussd_,   &phonebook_, &toolkit_};
  for (Service* s : services) s->Register(table_);
  const CommandSpec reset{[this](const Command&, Reply&) {
    for (Service* s : {static_cast<Service*>(&device_), static_cast<Service*>(&messaging_)}) s->Reset();
  }};
  table_["Z"] = reset;
  table_["&F"] = reset;
  for (const TimedLine& u : scenario_->unsolicited)
    if (u.at_ms >= 0) core_.Send(u.at_ms, u.bytes);
  if (scenario_->sim.busy_ms > 0) core_.At(scenario_->sim.busy_ms, [] {});  // the SIM becomes ready then
  for (TimeMs at : scenario_->faults.resets_ms) core_.At(at, [this] { Restart(); });
  core_.RunUntil(0);
}

void Model::Open(long baud, TimeMs now) {
  Speed(baud, now);
  open_ = true;
  partial_.clear();
}

void Model::Speed(long baud, TimeMs now) {
  core_.RunUntil(now);
  if (!Hears()) core_.TakeOutput(now);  // sent to nobody, or as noise at another speed
  baud_ = baud;
}

void Model::Close(TimeMs now) {
  core_.RunUntil(now);
  if (body_handler_) EndBody(true);
  core_.TakeOutput(now);
  open_ = false;
  partial_.clear();
}

std::string Model::Transmit(TimeMs now) {
  core_.RunUntil(now);
  std::string out = core_.TakeOutput(now);
  return Hears() ? out : std::string();
}

void Model::Receive(std::string_view bytes, TimeMs now) {
  core_.RunUntil(now);
  if (!Hears()) return;  // line noise at another speed
  for (char c : bytes) {
    if (body_handler_) {
      if (c == kCtrlZ || c == kEsc) {
        SendEcho();
        EndBody(c == kEsc);
        continue;
      }
      body_ += c;
      if (core_.echo) echo_ += c == '\r' ? std::string("\r\n> ") : std::string(1, c);
      continue;
    }
    if (core_.echo) echo_ += c;
    if (c == '\r') {
      SendEcho();
      Line(std::exchange(partial_, ""));
    } else if (c == '\b' || c == 127) {
      if (!partial_.empty()) partial_.pop_back();
    } else if (c != '\n') {
      partial_ += c;
    }
  }
  SendEcho();
  core_.NoteRegistration();
}

// The echo of what the host typed goes out behind any answer still being sent, as a modem's single
// output line sends it: a chunked answer then holds exactly the bytes of the whole one.
void Model::SendEcho() {
  if (echo_.empty()) return;
  core_.Send(std::max(core_.Now(), ready_at_), std::exchange(echo_, ""));
}

void Model::Line(const std::string& raw) {
  const std::string line =
      raw.substr(raw.find_first_not_of(' ') == std::string::npos ? raw.size() : raw.find_first_not_of(' '));
  if (line.empty()) return;  // an empty line gets its echo only
  lines_.emplace_back(core_.Now(), line);
  for (std::size_t k = 0; k < scenario_->unsolicited.size(); ++k) {
    const TimedLine& u = scenario_->unsolicited[k];
    if (!u.after.empty() && !after_fired_[k] && LineMatches(u.after, line)) {
      after_fired_[k] = true;
      core_.Send(core_.Now() + u.delay_ms, u.bytes);
    }
  }
  for (const std::string& s : scenario_->silent)
    if (LineMatches(s, line)) return;
  if (Faulty() && Turn(scenario_->faults.silence_every, silence_count_)) return;
  if (auto it = scenario_->responses.find(line); it != scenario_->responses.end()) {
    Answer(it->second, "", line);
    return;
  }
  if (line.size() < 2 || Upper(line.substr(0, 2)) != "AT") return;  // not a command: ignored
  Emit(Execute(std::string_view(line).substr(2)), line);
}

Reply Model::Execute(std::string_view text) {
  Reply reply;
  const auto commands = Parse(text);
  if (!commands) {
    reply.final = "ERROR";
    return reply;
  }
  for (const Command& c : *commands) {
    auto it = table_.find(c.name);
    if (it == table_.end()) {
      reply.final = "ERROR";
      return reply;
    }
    if (std::string error = core_.SimError(it->second.gate); !error.empty()) {
      reply.final = error;
      return reply;
    }
    it->second.handler(c, reply);
    if (!reply.Ok() || reply.body) return reply;
  }
  return reply;
}

void Model::Emit(const Reply& reply, const std::string& line) {
  std::string info;
  if (!reply.lines.empty()) {
    info = "\r\n";
    for (const std::string& l : reply.lines) info += l + "\r\n";
  }
  if (reply.body) {
    body_handler_ = reply.body;
    body_.clear();
    body_line_ = line;
    info += "\r\n> ";
  }
  Answer(info, reply.final.empty() ? "" : "\r\n" + reply.final + "\r\n", line);
  // The result lines that follow the answer (a +CUSD result, the next +STIN) come in the same pieces;
  // the modem does not hold its next answer back for them.
  const Chunking* chunking = BestMatch(scenario_->chunking, line);
  for (const auto& [delay, text] : reply.later) {
    TimeMs unchanged = ready_at_;
    SendInPieces(ready_at_ + delay, "\r\n" + text + "\r\n", chunking, unchanged);
  }
}

void Model::SendInPieces(TimeMs at, const std::string& bytes, const Chunking* chunking, TimeMs& ready_at) {
  if (!chunking) {
    core_.Send(at, bytes);
    ready_at = std::max(ready_at, at);
    return;
  }
  const TimeMs first = at;
  for (std::size_t k = 0; k < bytes.size(); k += chunking->size, at += chunking->gap_ms) {
    core_.Send(at, bytes.substr(k, chunking->size));
    ready_at = std::max(ready_at, at);
  }
  core_.Reserve(first, at - chunking->gap_ms);
}

void Model::EndBody(bool cancelled) {
  auto handler = std::exchange(body_handler_, nullptr);
  Emit(handler(std::exchange(body_, ""), cancelled), body_line_);
}

// A power cut and restart: what was being sent is lost, the settings go back to their power-up
// values, and a SIM that asks for its PIN asks again. The stored messages and the phonebook are on
// the SIM and stay.
void Model::Restart() {
  ++resets_;
  core_.TakeOutput(core_.Now() + (1LL << 40));
  body_handler_ = nullptr;
  body_.clear();
  partial_.clear();
  echo_.clear();
  ready_at_ = core_.Now();
  device_.Reset();
  messaging_.Reset();
  if (scenario_->sim.state == "SIM PIN" && core_.sim_state == "READY") core_.sim_state = "SIM PIN";
}

// Sends the information part and the final result of an answer as the scenario times them.
void Model::Answer(std::string info, std::string final, const std::string& line) {
  if (Faulty()) {
    const Faults& f = scenario_->faults;
    // A line the modem sends on its own lands between two lines of the answer.
    const std::size_t first_end = info.find("\r\n", 2);
    if (first_end != std::string::npos && (first_end + 2 < info.size() || !final.empty()) &&
        Turn(f.interleave_every, interleave_count_))
      info.insert(first_end + 2, "\r\n" + f.interleave[interleaved_++ % f.interleave.size()] + "\r\n");
    // Noise on the line just before the answer.
    if (Turn(f.garbage_every, garbage_count_)) (info.empty() ? final : info).insert(0, f.garbage);
  }
  Timing timing;
  if (const Timing* t = BestMatch(scenario_->delays, line)) timing = *t;
  const Chunking* chunking = BestMatch(scenario_->chunking, line);
  const TimeMs start = std::max(core_.Now(), ready_at_);
  const TimeMs final_at = start + std::max(timing.ms, timing.final_ms);
  auto send = [&](TimeMs at, const std::string& bytes) { SendInPieces(at, bytes, chunking, ready_at_); };
  if (timing.ms == timing.final_ms || info.empty() || final.empty()) {
    send(info.empty() ? final_at : start + timing.ms, info + final);
  } else {
    send(start + timing.ms, info);
    // One output line: the final result never overtakes the pieces of the lines before it.
    send(std::max(final_at, ready_at_ + (chunking ? chunking->gap_ms : 0)), final);
  }
}

}  // namespace quandelstk::modemsim
