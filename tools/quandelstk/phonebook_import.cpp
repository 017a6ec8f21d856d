// phonebook import: the entries of a vCard or CSV file onto the SIM. Every entry is checked against
// the SIM's limits before anything is written, the whole file is placed (in the location the file
// names when it can, else in a free one), and each entry is written and read back: an entry the
// modem refused or stored differently is undone, so that no location is left holding half of an
// entry.
#include <fmt/core.h>

#include <algorithm>
#include <map>
#include <set>

#include "channel/exchange.hpp"
#include "charset.hpp"
#include "modem_errors.hpp"
#include "phonebook_cli.hpp"
#include "phonebook_files.hpp"

namespace quandelstk::cli {

namespace {

// The longest number (in digits, a leading "+" aside) and name (in characters) the SIM holds.
struct Limits {
  std::optional<int> digits;
  std::optional<int> characters;
};

struct Candidate {
  FileEntry source;
  std::string number;       // Windows-1252, ready to write
  std::string name;         // UTF-8, without the blanks around it
  std::string problem;      // why it is skipped; "" while it is not
  bool already = false;     // skipped because the SIM holds it already
  std::int16_t target = 0;  // the location it goes to
};

std::optional<int> Number(const std::string& field) {
  const auto b = field.find_first_not_of(' ');
  const auto e = field.find_last_not_of(' ');
  if (b == std::string::npos) return std::nullopt;
  const std::string digits = field.substr(b, e - b + 1);
  if (digits.empty() || digits.size() > 4 || digits.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  return std::stoi(digits);
}

// As the modem reports them for the selected phonebook: +CPBR: (1-250),20,14. Nothing is known
// when it does not say.
Limits ReadLimits() {
  std::string r;
  if (!channel::SendATCommand("AT+CPBR=?", r, 0)) return {};
  const auto p = r.find("+CPBR:");
  const auto range_end = r.find(')', p == std::string::npos ? r.size() : p);
  if (p == std::string::npos || range_end == std::string::npos) return {};
  const auto line_end = r.find("\r\n", range_end);
  const std::string rest =
      r.substr(range_end + 1, line_end == std::string::npos ? std::string::npos : line_end - range_end - 1);
  // ",20,14"
  const auto second = rest.find(',', 1);
  if (rest.empty() || rest[0] != ',' || second == std::string::npos) return {};
  return {Number(rest.substr(1, second - 1)), Number(rest.substr(second + 1))};
}

// A number as people write it loses its blanks, dashes, dots, slashes and brackets; what is left
// must be digits, "*" and "#", with "+" only in front.
std::string SimNumber(const std::string& written, std::string& problem) {
  std::string number;
  for (char c : written)
    if (std::string_view(" -./()").find(c) == std::string_view::npos) number += c;
  if (number.empty()) {
    problem = "the entry has no number";
    return number;
  }
  for (std::size_t i = 0; i < number.size(); ++i) {
    const char c = number[i];
    if (NumberCharacter(c, i, NumberUse::kPhonebook)) continue;
    const std::string what =
        static_cast<unsigned char>(c) < 0x80 ? "\"" + std::string(1, c) + "\"" : "a letter";
    problem = fmt::format(
        "the number \"{}\" holds {}, which a SIM number cannot hold; correct it in the file", written, what);
    return number;
  }
  return number;
}

// The name without the blanks around it; the problem when it cannot be a SIM name.
std::string SimName(const std::string& written, std::string& problem) {
  std::string name = written;
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
  name.erase(
      0, name.find_first_not_of(" \t") == std::string::npos ? name.size() : name.find_first_not_of(" \t"));
  if (const std::string what = NameProblem(name); !what.empty()) {
    problem = "the name holds " + what + "; remove it in the file";
    return {};
  }
  try {
    NameForms(name);
  } catch (const CharsetError& e) {
    problem = std::string("the name \"") + name + "\": " + e.what();
    return {};
  }
  return name;
}

std::size_t Characters(const std::string& utf8) {
  return static_cast<std::size_t>(std::count_if(
      utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

Candidate Prepare(const FileEntry& e, const Limits& limits) {
  Candidate c{e, "", "", e.problem};
  if (!c.problem.empty()) return c;
  c.number = SimNumber(e.number, c.problem);
  if (!c.problem.empty()) return c;
  c.name = SimName(e.name, c.problem);
  if (!c.problem.empty()) return c;
  const int digits = static_cast<int>(c.number.size()) - (c.number[0] == '+' ? 1 : 0);
  const std::size_t characters = Characters(c.name);
  if (limits.digits && digits > *limits.digits)
    c.problem = fmt::format("the number has {} digits; the SIM holds at most {}", digits, *limits.digits);
  else if (limits.characters && static_cast<int>(characters) > *limits.characters)
    c.problem =
        fmt::format("the name has {} characters; the SIM holds at most {}", characters, *limits.characters);
  return c;
}

bool Same(const Candidate& c, const SimEntry& e) {
  return e.number == c.number && SimNameToUtf8(e.name) == c.name;
}

// The whole file is placed before anything is written. An entry the SIM holds already, at a location
// this import leaves as it is, is skipped; entries that name different locations are different
// entries, even with the same number and name. Each other entry goes to the location it names when
// that is free (or taken, with overwrite), else to the first free one.
void Place(std::vector<Candidate>& candidates, const std::vector<SimEntry>& stored, std::int16_t space,
           bool overwrite) {
  std::map<int, const SimEntry*> occupied;
  for (const SimEntry& e : stored) occupied[e.location] = &e;
  std::set<int> kept;   // stored entries that stand for an entry of the file
  std::set<int> taken;  // locations this import writes
  const auto pending = [](const Candidate& c) { return c.problem.empty() && !c.target; };
  const auto named = [&](const Candidate& c) -> std::optional<int> {
    if (c.source.location && *c.source.location <= space) return c.source.location;
    return std::nullopt;
  };
  const auto skip_as_there = [&](Candidate& c, int location) {
    c.problem = fmt::format("already on the SIM at location {}", location);
    c.already = true;
    kept.insert(location);
  };
  const auto place = [&](Candidate& c, int location) {
    c.target = static_cast<std::int16_t>(location);
    taken.insert(location);
  };

  // The same number and name twice, at the same location or where one names none.
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    Candidate& c = candidates[i];
    for (std::size_t j = 0; j < i && c.problem.empty(); ++j) {
      const Candidate& earlier = candidates[j];
      if (!earlier.problem.empty() || earlier.number != c.number || earlier.name != c.name) continue;
      if (earlier.source.location && c.source.location && earlier.source.location != c.source.location)
        continue;
      c.problem = fmt::format("the same entry is in the file already (line {})", earlier.source.line);
    }
  }
  // Entries the SIM holds at the location they name.
  for (Candidate& c : candidates) {
    const auto l = named(c);
    if (pending(c) && l && occupied.count(*l) && !kept.count(*l) && Same(c, *occupied[*l]))
      skip_as_there(c, *l);
  }
  // With overwrite, entries take the used location they name.
  for (Candidate& c : candidates) {
    const auto l = named(c);
    if (overwrite && pending(c) && l && occupied.count(*l) && !kept.count(*l) && !taken.count(*l))
      place(c, *l);
  }
  // Entries the SIM holds elsewhere, at a location that stays as it is.
  for (Candidate& c : candidates) {
    for (const SimEntry& e : stored)
      if (pending(c) && !c.already && !kept.count(e.location) && !taken.count(e.location) && Same(c, e))
        skip_as_there(c, e.location);
  }
  const auto free = [&](int l) { return !occupied.count(l) && !taken.count(l); };
  // Entries whose location is free.
  for (Candidate& c : candidates) {
    const auto l = named(c);
    if (pending(c) && !c.already && l && free(*l)) place(c, *l);
  }
  // The others, in the first free location.
  for (Candidate& c : candidates) {
    if (!pending(c) || c.already) continue;
    for (int l = 1; l <= space && !c.target; ++l)
      if (free(l)) place(c, l);
    if (c.target) continue;
    c.problem = fmt::format("no free location: all {} are in use", space);
    if (c.source.location && occupied.count(*c.source.location) && !overwrite)
      c.problem += fmt::format(" (--overwrite replaces the entry at location {})", *c.source.location);
  }
}

// Writes the entry and reads it back; anything but the entry itself is undone: the location is
// emptied again, or given back the entry it held.
void WriteChecked(Candidate& c, const std::optional<SimEntry>& before) {
  Phonebook& pb = ThePhonebook();
  WriteOutcome w;
  try {
    w = WriteEntry(c.target, c.number, c.name, true);
  } catch (const CharsetError& e) {  // the modem turned out to send Latin-1 codes, which lack a letter
    c.problem = std::string("the name \"") + c.name + "\": " + e.what();
    return;
  }
  if (w.as_written) return;
  const std::optional<SimEntry>& after = w.after;
  if (!w.accepted)
    c.problem = "the modem refused it (--trace shows its answer)";
  else if (!after)
    c.problem = "the modem accepted it, but the location reads back empty";
  else
    c.problem = fmt::format("the modem stored it as {} \"{}\"", Cp1252ToUtf8(after->number),
                            SimNameToUtf8(after->name));
  bool restored = true;
  if (before) {
    if (after != before) restored = pb.PhonebookWrite(c.target, before->number, before->name);
    c.problem += "; the entry that was there is back";
  } else if (after) {
    restored = pb.PhonebookDelete(c.target);
    c.problem += "; removed again";
  }
  if (!restored)
    c.problem +=
        fmt::format("; location {0} could not be put back: check it with phonebook read {0}", c.target);
}

nlohmann::json Skipped(const Candidate& c) {
  return {{"line", c.source.line},
          {"location", c.source.location ? nlohmann::json(*c.source.location) : nlohmann::json(nullptr)},
          {"number", c.source.number},
          {"name", c.source.name},
          {"reason", c.problem}};
}

}  // namespace

void ImportPhonebook(Cli& cli, const std::string& path, bool overwrite, bool dry_run) {
  const std::vector<FileEntry> file = ReadPhonebookFile(path);  // before Init: a bad file costs nothing
  if (!cli.Initialise()) return;
  std::int16_t space = 0;
  const auto stored = ReadAllEntries(cli, space);
  if (!stored) {
    cli.Report(
        "phonebook import", false, false,
        "false: nothing written; the modem did not report the phonebook's size: check that the SIM is ready",
        PhonebookProperties());
    return;
  }
  const Limits limits = ReadLimits();
  std::vector<Candidate> candidates;
  for (const FileEntry& e : file) candidates.push_back(Prepare(e, limits));
  Place(candidates, *stored, space, overwrite);

  std::map<int, SimEntry> before;
  for (const SimEntry& e : *stored) before[e.location] = e;
  const auto planned = std::count_if(candidates.begin(), candidates.end(),
                                     [](const Candidate& c) { return c.problem.empty(); });
  int done = 0;
  for (Candidate& c : candidates) {
    if (!c.problem.empty() || dry_run) continue;
    cli.out.Progress(fmt::format("writing entry {} of {} to location {}", ++done, planned, c.target));
    const auto it = before.find(c.target);
    WriteChecked(c, it == before.end() ? std::nullopt : std::optional<SimEntry>(it->second));
  }

  nlohmann::json written = nlohmann::json::array(), skipped = nlohmann::json::array();
  std::string human;
  bool all_there = true;
  for (const Candidate& c : candidates) {
    if (c.problem.empty()) {
      written.push_back({{"location", c.target}, {"number", Cp1252ToUtf8(c.number)}, {"name", c.name}});
      human += fmt::format("{} location {}: {}  {}\n", dry_run ? "would write" : "wrote", c.target,
                           Cp1252ToUtf8(c.number), c.name);
    } else {
      skipped.push_back(Skipped(c));
      all_there = all_there && c.already;
      human += fmt::format("skipped line {} (\"{}\"{}): {}\n", c.source.line, ShowControls(c.source.name),
                           c.source.number.empty() ? "" : ", " + ShowControls(c.source.number),
                           ShowControls(c.problem));
    }
  }
  if (!limits.digits || !limits.characters)
    cli.out.Note("(the modem did not report the SIM's limits; entries were checked by writing them)");
  human += fmt::format("{} {} of {} entr{} from {}, {} skipped{}", dry_run ? "would write" : "wrote",
                       written.size(), candidates.size(), candidates.size() == 1 ? "y" : "ies", path,
                       skipped.size(), dry_run ? " (dry run: nothing was written)" : "");
  cli.Report("phonebook import",
             {{"dry_run", dry_run},
              {"written", written},
              {"skipped", skipped},
              {"counts",
               {{"in_file", candidates.size()}, {"written", written.size()}, {"skipped", skipped.size()}}}},
             all_there, human, PhonebookProperties());
}

}  // namespace quandelstk::cli
