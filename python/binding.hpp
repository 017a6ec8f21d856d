// The Python binding's shared parts: text between Python's str and the core's 8-bit text, 16-bit
// arguments, docstrings, the enumerations as enum.IntEnum, and calls that release the GIL.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <utility>

namespace quandelstk::python {

namespace py = pybind11;

// Python str to the core's 8-bit text, Windows-1252 as the CLI converts it. A character without a
// code raises UnicodeEncodeError("windows-1252", text, position, position + 1, reason), the reason
// naming the member and parameter (where, "SMS.SendSMSText: strMessage"), the character and its
// Unicode name.
std::string ToCore(const py::str& text, const std::string& where);
// The core's 8-bit text to str: every byte has a character (the five codes Windows-1252 leaves
// undefined become U+0081, U+008D, U+008F, U+0090, U+009D), so this never fails.
py::str FromCore(const std::string& text);
// A Python int for a 16-bit parameter (COM's short): OverflowError naming the parameter outside
// -32768 to 32767.
std::int16_t ToShort(const py::int_& value, const std::string& where);
// The reverse table, built once with the GIL held when the module loads.
void InitTextTables();

// The docstring of a member: the COM type library's help string when it has one, then notes.
std::string Doc(const char* cls, const char* member, const std::string& notes);

// The port number a device path is entered under in the port table (1000 and up, one per path).
std::int16_t PortForDevice(const std::string& path);

// The enumerations, enum.IntEnum subclasses made when the module loads.
py::object InitStatusOf(std::int32_t value);
py::object DeliveryStatusOf(std::int32_t value);  // a plain int for a value the enumeration lacks
py::object STKStatusOf(std::int32_t value);

// Runs f with the GIL released: the library waits on the modem meanwhile, and other Python threads
// run. Arguments are converted before and results after, with the GIL held.
template <typename F>
auto Released(F&& f) -> decltype(f()) {
  py::gil_scoped_release release;
  return std::forward<F>(f)();
}

void BindModem(py::module_& m);
void BindSMS(py::module_& m);
void BindSIMToolKit(py::module_& m);
void BindUSSD(py::module_& m);
void BindPhonebook(py::module_& m);

}  // namespace quandelstk::python
