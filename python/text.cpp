// Text between Python and the core, 16-bit arguments, docstrings.
#include <climits>
#include <cstdio>
#include <string_view>
#include <unordered_map>

#include "binding.hpp"
#include "idl_help.hpp"
#include "quandelstk/charset.hpp"

namespace quandelstk::python {

namespace {

// Windows-1252 codes 0x80 to 0xFF by the character they stand for (0x00 to 0x7F are ASCII).
std::unordered_map<char32_t, char>& HighCodes() {
  static auto* codes = new std::unordered_map<char32_t, char>();
  return *codes;
}

char32_t FirstCodePoint(const std::string& utf8) {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  if (s[0] < 0x80) return s[0];
  if (s[0] < 0xE0) return (char32_t(s[0] & 0x1F) << 6) | (s[1] & 0x3F);
  if (s[0] < 0xF0) return (char32_t(s[0] & 0x0F) << 12) | (char32_t(s[1] & 0x3F) << 6) | (s[2] & 0x3F);
  return (char32_t(s[0] & 0x07) << 18) | (char32_t(s[1] & 0x3F) << 12) | (char32_t(s[2] & 0x3F) << 6) | (s[3] & 0x3F);
}

[[noreturn]] void RaiseUnencodable(const py::str& text, Py_ssize_t at, Py_UCS4 ch, const std::string& where) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(ch));
  std::string name;
  try {
    name = py::module_::import("unicodedata").attr("name")(py::reinterpret_steal<py::str>(PyUnicode_FromOrdinal(static_cast<int>(ch))), "")
               .cast<std::string>();
  } catch (const py::error_already_set&) {
  }
  const std::string reason = where + ": Windows-1252 has no code for " + code + (name.empty() ? "" : " " + name) +
                             "; the modem's 8-bit text cannot carry it (send such text with SMS.SendSMSUnicode and "
                             "quandelstk.ucs2_hex)";
  py::object error = py::module_::import("builtins")
                         .attr("UnicodeEncodeError")("windows-1252", text, at, at + 1, py::str(reason));
  PyErr_SetObject(PyExc_UnicodeEncodeError, error.ptr());
  throw py::error_already_set();
}

}  // namespace

void InitTextTables() {
  auto& codes = HighCodes();
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    const std::string utf8 = Windows1252ToUtf8(std::string(1, static_cast<char>(byte)));
    codes[FirstCodePoint(utf8)] = static_cast<char>(byte);
  }
}

std::string ToCore(const py::str& text, const std::string& where) {
  PyObject* s = text.ptr();
  const Py_ssize_t length = PyUnicode_GetLength(s);
  if (length < 0) throw py::error_already_set();
  const int kind = PyUnicode_KIND(s);
  const void* data = PyUnicode_DATA(s);
  std::string out;
  out.reserve(static_cast<std::size_t>(length));
  const auto& codes = HighCodes();
  for (Py_ssize_t i = 0; i < length; ++i) {
    const Py_UCS4 ch = PyUnicode_READ(kind, data, i);
    if (ch < 0x80) {
      out.push_back(static_cast<char>(ch));
      continue;
    }
    const auto found = codes.find(static_cast<char32_t>(ch));
    if (found == codes.end()) RaiseUnencodable(text, i, ch, where);
    out.push_back(found->second);
  }
  return out;
}

py::str FromCore(const std::string& text) {
  const std::string utf8 = Windows1252ToUtf8(text);
  return py::str(utf8.data(), utf8.size());
}

std::int16_t ToShort(const py::int_& value, const std::string& where) {
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
  if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (overflow != 0 || v < INT16_MIN || v > INT16_MAX) {
    const std::string shown = py::repr(value).cast<std::string>();
    PyErr_SetString(PyExc_OverflowError,
                    (where + ": " + shown + " is outside the 16-bit range -32768 to 32767").c_str());
    throw py::error_already_set();
  }
  return static_cast<std::int16_t>(v);
}

std::string Doc(const char* cls, const char* member, const std::string& notes) {
  for (const IdlHelp& help : kIdlHelp) {
    if (std::string_view(help.cls) == cls && std::string_view(help.member) == member)
      return notes.empty() ? std::string(help.text) : std::string(help.text) + "\n\n" + notes;
  }
  return notes;
}

}  // namespace quandelstk::python
