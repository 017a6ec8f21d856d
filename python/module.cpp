// import quandelstk: the five classes of QuandelSTK6 for Python scripts on Linux, as the COM server
// gives them to Windows scripts. See the module docstring below for what differs and why.
#include <map>
#include <mutex>

#include <pybind11/eval.h>

#include "binding.hpp"
#include "quandelstk/charset.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/platform.hpp"
#include "quandelstk/version.hpp"

namespace quandelstk::python {

namespace {

constexpr const char* kModuleDoc = R"doc(QuandelSTK6 for Python: drive a GSM modem on a serial port.

The classes Modem, SMS, SIMToolKit, USSD and Phonebook carry the members the COM type library
gives Windows scripts, under the same names (modem.Init(33, "1234"), sms.SendSMSText(...),
sms.MN). Properties are Python properties; optional parameters are keyword arguments with their
defaults (ussd.USSDListen(iTimeOutSeconds=3)).

By-reference parameters: Python cannot pass an int or a str by reference, so the two methods that
take [in, out] parameters return a tuple of the result and the parameters' values afterwards:
    Modem.FindCOMPort(iStart, iEnd)            -> (port, iStart, iEnd)
    SMS.IsOnline(sNumber, iWait_Second=10)     -> (reachable, sNumber, iWait_Second)
(The library reads them and never changes them, so the values come back as given.)

Enumerations are enum.IntEnum subclasses: InitStatus, DeliveryStatus, STKStatus.

Errors: every run-time error of the library is raised as quandelstk.RuntimeError, a subclass of
Python's RuntimeError with .number (the error number a COM host sees in Err.Number, such as 8012
"port not open" or 9 "subscript out of range") and .description. As in COM, many methods trap
their errors and return a failure value instead (False, -1, "", InitStatus.Fail); see each
method's docstring. A 16-bit parameter outside -32768 to 32767 raises OverflowError.

Text: the modem's text is 8-bit, Windows-1252 (as the CLI converts it). A str is converted on the
way in and back on the way out; a character that Windows-1252 has no code for (Greek, Cyrillic,
CJK, emoji) raises UnicodeEncodeError naming the member, the parameter and the character. Send
such text as UCS2 with SMS.SendSMSUnicode(number, quandelstk.ucs2_hex(text)).

Ports: a port number selects a device through a process-wide table: 1-32 /dev/ttyS0-31, 33-64
/dev/ttyUSB0-31, 65-96 /dev/ttyACM0-31; assign_port(n, "/dev/...") enters any device under any
number. Modem.Init also takes a device path instead of a number, Init("/dev/ttyUSB0"): the path
is entered in the table under a number of its own (port_for_device tells which).

Threads: every Python thread that uses the library has its own session, as a C++ thread has: its
own serial port, opened by Modem.Init on that thread and used by every object's calls on that
thread. An object is not tied to the thread that made it, but its calls always use the port of the
calling thread, so give each thread its own modem (its own port) and make its Init there. The
global interpreter lock is released while the library talks to the modem, so several threads
driving several modems run at the same time.

Releasing an SMS object closes no port here, unlike for a COM host (where releasing any SMS
object closes its thread's port): Python's garbage collector, not the script, chooses when an
object in a reference cycle goes, and on which thread. Modem.ShutDown closes the port.
)doc";

constexpr const char* kErrorCode = R"py(
import builtins

class RuntimeError(builtins.RuntimeError):
    """A run-time error of the library: .number is the error number a COM host sees in Err.Number
    (5 invalid procedure call, 9 subscript out of range, 13 type mismatch, 8002 invalid port number,
    8005 port already open, 8012 port not open, ...), .description its text."""

    def __init__(self, number, description):
        super().__init__(number, description)
        self.number = number
        self.description = description

    def __str__(self):
        return f"{self.description} (error {self.number})"
)py";

// The module's objects that outlive every call: created once, never released (the interpreter may
// be finalised before static destructors run).
struct ModuleObjects {
  PyObject* runtime_error = nullptr;
  PyObject* init_status = nullptr;
  PyObject* delivery_status = nullptr;
  PyObject* stk_status = nullptr;
};
ModuleObjects objects;

PyObject* MakeIntEnum(py::module_& m, const char* name, const char* doc,
                      std::initializer_list<std::pair<const char*, int>> members) {
  py::list items;
  for (const auto& [member, value] : members) items.append(py::make_tuple(member, value));
  py::object cls = py::module_::import("enum").attr("IntEnum")(name, items, py::arg("module") = "quandelstk",
                                                                 py::arg("qualname") = name);
  cls.attr("__doc__") = doc;
  m.attr(name) = cls;
  return cls.release().ptr();
}

// Numbers the binding gives device paths in the port table.
constexpr std::int16_t kFirstDevicePathPort = 1000;
std::mutex device_ports_mutex;
std::map<std::string, std::int16_t> device_ports;

}  // namespace

py::object InitStatusOf(std::int32_t value) { return py::handle(objects.init_status)(value); }
py::object STKStatusOf(std::int32_t value) { return py::handle(objects.stk_status)(value); }
py::object DeliveryStatusOf(std::int32_t value) {
  if (value >= 0 && value <= 2) return py::handle(objects.delivery_status)(value);
  return py::int_(value);
}

std::int16_t PortForDevice(const std::string& path) {
  std::lock_guard lock(device_ports_mutex);
  auto found = device_ports.find(path);
  if (found == device_ports.end()) {
    const auto next = static_cast<std::int16_t>(kFirstDevicePathPort + device_ports.size());
    found = device_ports.emplace(path, next).first;
  }
  // Entered every time: reset_port_table may have emptied the table since.
  AssignPort(found->second, path);
  return found->second;
}

}  // namespace quandelstk::python

namespace qp = quandelstk::python;
namespace py = pybind11;

PYBIND11_MODULE(quandelstk, m) {
  m.doc() = qp::kModuleDoc;
  m.attr("__version__") = quandelstk::kVersionText;
  qp::InitTextTables();

  py::dict scope;
  scope["__name__"] = "quandelstk";
  py::exec(qp::kErrorCode, scope);
  py::object runtime_error = scope["RuntimeError"];
  m.attr("RuntimeError") = runtime_error;
  qp::objects.runtime_error = runtime_error.release().ptr();
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const quandelstk::RuntimeError& e) {
      py::object error = py::handle(qp::objects.runtime_error)(e.Number(), qp::FromCore(e.Description()));
      PyErr_SetObject(qp::objects.runtime_error, error.ptr());
    }
  });

  qp::objects.init_status = qp::MakeIntEnum(
      m, "InitStatus", "What Modem.Init found: OK, or why the port is left closed.",
      {{"Fail", 0}, {"OK", 1}, {"PINRequired", 2}, {"PINWrong", 3}, {"SIMBlocked", 4}, {"SIMError", 5}});
  qp::objects.delivery_status = qp::MakeIntEnum(m, "DeliveryStatus", "SMS.DRStatus: what the delivery report says.",
                                                {{"Undelivered", 0}, {"Delivered", 1}, {"Unknown", 2}});
  qp::objects.stk_status = qp::MakeIntEnum(m, "STKStatus", "SIMToolKit.STKStatusGet: what the SIM toolkit has pending.",
                                           {{"STKMainMenu", 0},
                                            {"STKResponse", 1},
                                            {"STKInputRequest", 3},
                                            {"STKSubMenu", 6},
                                            {"STKSMSSent", 9},
                                            {"STKTimeOut", 98},
                                            {"STKSessionEnd", 99},
                                            {"STKUnknown", 100}});

  m.def(
      "assign_port",
      [](const py::int_& port, const std::string& device) {
        quandelstk::AssignPort(qp::ToShort(port, "assign_port: port"), device);
      },
      py::arg("port"), py::arg("device"),
      "Enters a device (\"/dev/ttyUSB0\", \"/dev/pts/3\") under a port number in the process-wide port table,\n"
      "so that Modem.Init(port) opens it. Numbers below 1 cannot be opened.");
  m.def(
      "port_device", [](const py::int_& port) { return quandelstk::PortDevice(qp::ToShort(port, "port_device: port")); },
      py::arg("port"), "The device a port number opens, \"\" when the number has none.");
  m.def("reset_port_table", &quandelstk::ResetPortTable,
        "Restores the default port table: 1-32 /dev/ttyS0-31, 33-64 /dev/ttyUSB0-31, 65-96 /dev/ttyACM0-31.");
  m.def("port_for_device", &qp::PortForDevice, py::arg("device"),
        "The port number the binding enters a device path under (1000 and up, one per path), entering it in\n"
        "the port table: Modem.Init(path) is Modem.Init(port_for_device(path)).");
  m.def(
      "ucs2_hex",
      [](const std::string& text) {
        try {
          return quandelstk::Utf8ToUcs2Hex(text);
        } catch (const quandelstk::RuntimeError& e) {
          throw py::value_error("ucs2_hex: " + e.Description());
        }
      },
      py::arg("text"),
      "Text as UCS2 hex for SMS.SendSMSUnicode: four upper-case hex digits per character, so any character\n"
      "up to U+FFFF travels (ValueError beyond).");

  qp::BindModem(m);
  qp::BindSMS(m);
  qp::BindSIMToolKit(m);
  qp::BindUSSD(m);
  qp::BindPhonebook(m);
}
