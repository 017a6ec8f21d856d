// phonebook size / used / read / write / delete, and list and export, which read every used location
// with the class's own methods. Import is in phonebook_import.cpp.
#include <fmt/core.h>

#include "charset.hpp"
#include "phonebook_cli.hpp"
#include "phonebook_files.hpp"

namespace quandelstk::cli {

namespace {

// A progress line every this many locations.
constexpr int kProgressEvery = 25;

const char* const kNoSize =
    "the modem did not report the phonebook's size: check that the SIM is ready (--trace shows the line)";

void Count(Cli& cli, bool total) {
  const std::int16_t r = total ? ThePhonebook().TotalSpace() : ThePhonebook().TotalUsed();
  const char* command = total ? "phonebook size" : "phonebook used";
  cli.Report(command, r, r >= 0,
             r >= 0 ? fmt::format("{} {}", r, total ? "locations" : "locations in use")
                    : fmt::format("-1: {}", kNoSize),
             PhonebookProperties());
}

void Read(Cli& cli, int location) {
  Phonebook& pb = ThePhonebook();
  const bool r = pb.PhonebookRead(static_cast<std::int16_t>(location));
  if (r) NoteNameFromModem(pb.PhonebookName());
  cli.Report(
      "phonebook read", r, r,
      r ? fmt::format("{}  {}", ShowControls(Cp1252ToUtf8(pb.PhonebookNumber())),
                      ShowControls(SimNameToUtf8(pb.PhonebookName())))
        : fmt::format("false: location {} is empty or could not be read; phonebook list shows the used "
                      "locations, phonebook size how many there are (--trace shows the modem's answer)",
                      location),
      PhonebookProperties());
}

// A field of phonebook write that the modem's command cannot carry is refused before anything is sent.
void CheckField(const char* field, const std::string& value) {
  const std::string problem = NameProblem(value);
  if (!problem.empty())
    throw UsageError(fmt::format("{} \"{}\" holds {}; leave it out", field, ShowControls(value), problem));
}

void Write(Cli& cli, int location, const std::string& number, const std::string& name) {
  CheckField("NUMBER", number);
  CheckField("NAME", name);
  const WriteOutcome w =
      WriteEntry(static_cast<std::int16_t>(location), Utf8ToCp1252(number, kNameCharsetAdvice), name, false);
  const bool r = w.accepted;
  cli.Report(
      "phonebook write", r, r,
      r ? fmt::format("true: written to location {}", location)
        : "false: not written; the modem refused the location, or the number or name is too long for the SIM "
          "(phonebook size shows the locations; --trace shows the modem's answer)",
      PhonebookProperties());
}

void Delete(Cli& cli, int location) {
  const bool r = ThePhonebook().PhonebookDelete(static_cast<std::int16_t>(location));
  cli.Report(
      "phonebook delete", r, r,
      r ? fmt::format("true: location {} is empty", location)
        : fmt::format("false: the modem refused to empty location {}; phonebook size shows the locations",
                      location),
      PhonebookProperties());
}

std::string Listing(const std::vector<SimEntry>& entries) {
  std::string text;
  for (const SimEntry& e : entries)
    text += fmt::format("{:>5}  {:<22} {}\n", e.location, ShowControls(Cp1252ToUtf8(e.number)),
                        ShowControls(SimNameToUtf8(e.name)));
  return text;
}

void List(Cli& cli) {
  std::int16_t space = 0;
  const auto entries = ReadAllEntries(cli, space);
  if (!entries) {
    cli.Report("phonebook list", false, false, fmt::format("false: {}", kNoSize), PhonebookProperties());
    return;
  }
  nlohmann::json array = nlohmann::json::array();
  for (const SimEntry& e : *entries) array.push_back(EntryJson(e));
  cli.Report("phonebook list", {{"entries", array}, {"count", entries->size()}, {"space", space}}, true,
             Listing(*entries) + fmt::format("{} entr{} in {} locations", entries->size(),
                                             entries->size() == 1 ? "y" : "ies", space),
             PhonebookProperties());
}

void Export(Cli& cli, const std::string& path) {
  CheckWritable(path);  // before Init and the long read, not after them
  if (!cli.Initialise()) return;
  std::int16_t space = 0;
  const auto entries = ReadAllEntries(cli, space);
  if (!entries) {
    cli.Report("phonebook export", false, false, fmt::format("false: nothing written; {}", kNoSize),
               PhonebookProperties());
    return;
  }
  std::vector<FileEntry> file;
  nlohmann::json array = nlohmann::json::array();
  for (const SimEntry& e : *entries) {
    file.push_back({e.location, Cp1252ToUtf8(e.number), SimNameToUtf8(e.name), 0, ""});
    array.push_back(EntryJson(e));
  }
  WritePhonebookFile(path, file);
  const char* format = FormatName(FormatOf(path));
  cli.Report(
      "phonebook export", {{"file", path}, {"format", format}, {"entries", array}, {"count", file.size()}},
      true,
      fmt::format("exported {} entr{} to {} ({})", file.size(), file.size() == 1 ? "y" : "ies", path, format),
      PhonebookProperties());
}

}  // namespace

Phonebook& ThePhonebook() {
  static Phonebook phonebook;
  return phonebook;
}

nlohmann::json PhonebookProperties() {
  return {{"PhonebookNumber", Cp1252ToUtf8(ThePhonebook().PhonebookNumber())},
          {"PhonebookName", SimNameToUtf8(ThePhonebook().PhonebookName())}};
}

nlohmann::json EntryJson(const SimEntry& entry) {
  return {{"location", entry.location},
          {"number", Cp1252ToUtf8(entry.number)},
          {"name", SimNameToUtf8(entry.name)}};
}

namespace {

enum class ModemCodes { kUnknown, kGsm, kLatin1 };

ModemCodes& KnownCodes() {
  static ModemCodes codes = ModemCodes::kUnknown;
  return codes;
}

}  // namespace

void NoteNameFromModem(const std::string& bytes) {
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if ((b < 0x20 && b != '\r' && b != '\n') || b == 0x7F) KnownCodes() = ModemCodes::kGsm;
    if (b >= 0x80) KnownCodes() = ModemCodes::kLatin1;
  }
}

std::string NameProblem(const std::string& name) {
  if (name.find_first_of("\r\n") != std::string::npos) return "a line break, which a SIM entry cannot hold";
  if (name.find('"') != std::string::npos) return "a double quote, which the modem's command cannot carry";
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto b = static_cast<unsigned char>(name[i]);
    const bool c1 = b == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(name[i + 1]) <= 0x9F;  // U+0080-U+009F in UTF-8
    if (b < 0x20 || b == 0x7F || c1) return "a control character, which a SIM entry cannot hold";
  }
  return "";
}

std::vector<std::string> NameForms(const std::string& name) {
  if (KnownCodes() == ModemCodes::kLatin1)
    return {Utf8ToSimName(name, NameCodes::kWindows1252, kNameCharsetAdvice)};
  std::vector<std::string> forms = {Utf8ToSimName(name, NameCodes::kGsm, kNameCharsetAdvice)};
  if (KnownCodes() == ModemCodes::kGsm) return forms;
  try {
    std::string latin1 = Utf8ToSimName(name, NameCodes::kWindows1252, kNameCharsetAdvice);
    if (latin1 != forms[0]) forms.push_back(std::move(latin1));
  } catch (const CharsetError&) {
    // a character only the GSM codes hold (Δ, Ω, ...): that form alone
  }
  return forms;
}

WriteOutcome WriteEntry(std::int16_t location, const std::string& number, const std::string& name,
                        bool check) {
  Phonebook& pb = ThePhonebook();
  const std::vector<std::string> forms = NameForms(name);
  WriteOutcome w;
  for (std::size_t i = 0; i < forms.size(); ++i) {
    w.name = forms[i];
    w.accepted = pb.PhonebookWrite(location, number, forms[i]);
    if (!check && i + 1 == forms.size()) return w;
    w.after.reset();
    if (pb.PhonebookRead(location)) w.after = SimEntry{location, pb.PhonebookNumber(), pb.PhonebookName()};
    if (w.accepted && w.after && w.after->name == forms[i]) {
      // The modem kept this form: a later form is the Latin-1 one, which this modem takes.
      if (i > 0) KnownCodes() = ModemCodes::kLatin1;
      NoteNameFromModem(forms[i]);
      w.as_written = w.after->number == number;
      return w;
    }
  }
  return w;
}

std::optional<std::vector<SimEntry>> ReadAllEntries(Cli& cli, std::int16_t& space) {
  Phonebook& pb = ThePhonebook();
  space = pb.TotalSpace();
  if (space < 0) return std::nullopt;
  const std::int16_t used = pb.TotalUsed();
  cli.out.Progress(used >= 0 ? fmt::format("reading the {} entries among the SIM's {} locations", used, space)
                             : fmt::format("reading the SIM's {} locations", space));
  std::vector<SimEntry> entries;
  for (int location = 1; location <= space; ++location) {
    // A modem that counts its entries right lets the reading stop at the last of them.
    if (used >= 0 && static_cast<int>(entries.size()) >= used) break;
    if (location % kProgressEvery == 0)
      cli.out.Progress(fmt::format("location {} of {}: {} found so far", location, space, entries.size()));
    const auto l = static_cast<std::int16_t>(location);
    if (!pb.PhonebookRead(l)) continue;
    entries.push_back({l, pb.PhonebookNumber(), pb.PhonebookName()});
    NoteNameFromModem(entries.back().name);
  }
  return entries;
}

void AddPhonebookCommands(CLI::App& app, Cli& cli) {
  auto* pb =
      app.add_subcommand("phonebook", "The SIM phonebook: size, read, write, delete, list, export, import");
  pb->require_subcommand(1);
  const auto location_option = [](CLI::App* cmd) {
    cmd->add_option("N", "the location, as the modem numbers them (1 to phonebook size)")
        ->required()
        ->check(WholeNumber(-32768, 32767));
  };

  auto* size = pb->add_subcommand("size", "Number of locations of the SIM phonebook");
  size->callback([&cli] { cli.Run("phonebook size", true, [&cli] { Count(cli, true); }); });
  auto* used = pb->add_subcommand("used", "Number of locations in use");
  used->callback([&cli] { cli.Run("phonebook used", true, [&cli] { Count(cli, false); }); });

  auto* read = pb->add_subcommand("read", "Read the entry at location N");
  location_option(read);
  read->callback([&cli, read] {
    cli.Run("phonebook read", true, [&cli, read] { Read(cli, read->get_option("N")->as<int>()); });
  });

  auto* write = pb->add_subcommand("write", "Write NUMBER and NAME to location N, replacing what is there");
  location_option(write);
  write->add_option("NUMBER", "the number, for example +15550100123: a leading +, digits, * and #")
      ->required()
      ->check(PhoneNumber(NumberUse::kPhonebook));
  write->add_option("NAME", "the name (UTF-8; only the letters of the modem's set)")->required();
  write->callback([&cli, write] {
    cli.Run("phonebook write", true, [&cli, write] {
      Write(cli, write->get_option("N")->as<int>(), write->get_option("NUMBER")->as<std::string>(),
            write->get_option("NAME")->as<std::string>());
    });
  });

  auto* del = pb->add_subcommand("delete", "Empty location N");
  location_option(del);
  del->callback([&cli, del] {
    cli.Run("phonebook delete", true, [&cli, del] { Delete(cli, del->get_option("N")->as<int>()); });
  });

  auto* list = pb->add_subcommand("list", "Every used location, read one by one, with a count at the end");
  list->callback([&cli] { cli.Run("phonebook list", true, [&cli] { List(cli); }); });

  auto* exp = pb->add_subcommand("export", "Write every entry to FILE: vCard 3.0 (.vcf) or CSV (.csv)");
  exp->add_option("FILE", "the file to write, replaced when it exists; .vcf or .csv")->required();
  exp->callback([&cli, exp] {
    cli.Run("phonebook export", false,
            [&cli, exp] { Export(cli, exp->get_option("FILE")->as<std::string>()); });
  });

  auto* imp = pb->add_subcommand("import",
                                 "Write the entries of FILE (.vcf or .csv) to the SIM: each to the location "
                                 "the file names when it is free, "
                                 "else to the first free one. Entries already on the SIM, too long for its "
                                 "limits, or without a free location "
                                 "are skipped with the reason");
  imp->add_option("FILE",
                  "the file to read: vCard (.vcf) or CSV (.csv) with the columns location,number,name")
      ->required();
  imp->add_flag("--overwrite")
      ->description("write an entry to the location the file names even when another entry is there");
  imp->add_flag("--dry-run")->description("show what would be written and skipped, and write nothing");
  imp->callback([&cli, imp] {
    cli.Run("phonebook import", false, [&cli, imp] {
      ImportPhonebook(cli, imp->get_option("FILE")->as<std::string>(),
                      imp->get_option("--overwrite")->as<bool>(), imp->get_option("--dry-run")->as<bool>());
    });
  });
}

}  // namespace quandelstk::cli
