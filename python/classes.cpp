// The five classes. Every method that talks to the modem runs with the GIL released (Released);
// its arguments are converted before and its result after. Properties only store values.
#include <climits>
#include <cmath>
#include <memory>
#include <optional>
#include <thread>

#include "binding.hpp"
#include "quandelstk/errors.hpp"
#include "quandelstk/modem.hpp"
#include "quandelstk/phonebook.hpp"
#include "quandelstk/sms.hpp"
#include "quandelstk/stk.hpp"
#include "quandelstk/ussd.hpp"

namespace quandelstk::python {

namespace {

// A str property over a class's getter and setter of std::string.
template <typename Cls, typename Base>
void TextProperty(Cls& cls, const char* cls_name, const char* name, const std::string& (Base::*get)() const,
                  void (Base::*set)(std::string), const std::string& notes) {
  const std::string where = std::string(cls_name) + "." + name;
  using T = typename Cls::type;
  cls.def_property(
      name, [get](const T& self) { return FromCore((self.*get)()); },
      [set, where](T& self, const py::str& value) { (self.*set)(ToCore(value, where)); },
      Doc(cls_name, name, notes).c_str());
}

// A 16-bit int property.
template <typename Cls, typename Base>
void ShortProperty(Cls& cls, const char* cls_name, const char* name, std::int16_t (Base::*get)() const,
                   void (Base::*set)(std::int16_t), const std::string& notes) {
  const std::string where = std::string(cls_name) + "." + name;
  using T = typename Cls::type;
  cls.def_property(
      name, [get](const T& self) { return (self.*get)(); },
      [set, where](T& self, const py::int_& value) { (self.*set)(ToShort(value, where)); },
      Doc(cls_name, name, notes).c_str());
}

// --- Modem -----------------------------------------------------------------------------------

std::int16_t PortArgument(const py::object& port) {
  if (py::isinstance<py::int_>(port)) return ToShort(py::reinterpret_borrow<py::int_>(port), "Modem.Init: intPort");
  if (py::isinstance<py::str>(port) || py::hasattr(port, "__fspath__"))
    return PortForDevice(py::module_::import("os").attr("fsdecode")(port).cast<std::string>());
  throw py::type_error("Modem.Init: intPort must be a port number (int) or a device path (str), not " +
                       py::str(py::type::of(port).attr("__name__")).cast<std::string>());
}

// --- SMS -------------------------------------------------------------------------------------

// A Python object stored in ToMessage by reference, as a COM host stores an object with Set: the
// senders ask it for its text each time they fall back to ToMessage. Its text is str(object); an
// object whose type defines neither __str__ nor __repr__ has none (type mismatch, error 13), as a
// COM object without a default member has none.
class PyMessageObject final : public MessageObject {
 public:
  explicit PyMessageObject(py::object object) : object_(std::move(object)) {}
  ~PyMessageObject() override {
    py::gil_scoped_acquire gil;
    object_ = py::object();
  }
  PyMessageObject(const PyMessageObject&) = delete;
  PyMessageObject& operator=(const PyMessageObject&) = delete;

  const py::object& Object() const { return object_; }

  std::optional<std::string> DefaultText() const override {
    py::gil_scoped_acquire gil;
    const py::handle type = py::type::of(object_);
    const py::handle plain = reinterpret_cast<PyObject*>(&PyBaseObject_Type);
    if (type.attr("__str__").is(plain.attr("__str__")) && type.attr("__repr__").is(plain.attr("__repr__")))
      return std::nullopt;
    py::str text;
    try {
      text = py::str(object_);
    } catch (py::error_already_set& e) {
      throw RuntimeError(err::kTypeMismatch,
                         std::string("Type mismatch: str() of the object in ToMessage raised ") + e.what());
    }
    return ToCore(text, "SMS.ToMessage (the stored object's text)");
  }

 private:
  py::object object_;
};

MessageValue ToMessageValue(const py::object& value) {
  if (value.is_none()) return MessageValue();
  if (py::isinstance<py::str>(value)) return MessageValue(ToCore(py::str(value), "SMS.ToMessage"));
  if (py::isinstance<py::float_>(value) ||
      (py::isinstance<py::int_>(value) && !py::isinstance<py::bool_>(value)))
    return MessageValue(value.cast<double>());
  return MessageValue(std::make_shared<PyMessageObject>(value));
}

py::object FromMessageValue(const MessageValue& value) {
  if (value.IsEmpty()) return py::none();
  if (value.IsText()) return FromCore(value.Text());
  if (value.IsNumber()) {
    const double number = value.Number();
    if (std::trunc(number) == number && std::fabs(number) < 9007199254740992.0)
      return py::int_(static_cast<long long>(number));
    return py::float_(number);
  }
  const auto* object = dynamic_cast<const PyMessageObject*>(value.ObjectRef().get());
  if (object) return object->Object();
  return py::none();
}

// Releasing a C++ SMS object closes the serial port of the thread that runs its destructor (see
// sms.hpp), as releasing one does for a COM host, where reference counting makes that moment the
// script's choice. In Python it is not: an object caught in a reference cycle (an exception's
// traceback holds the frames that hold it) goes whenever the garbage collector runs, on whichever
// thread, and would close a port in the middle of another object's work. So an SMS object of this
// binding closes no port when it goes: its destructor runs on a short thread of its own, whose
// session has no port. Modem.ShutDown closes the port.
struct SmsDeleter {
  void operator()(SMS* sms) const noexcept {
    sms->ToMessage(MessageValue());  // a stored Python object goes here, with the GIL held
    std::thread([sms] { delete sms; }).join();
  }
};

using SMSClass = py::class_<SMS, std::unique_ptr<SMS, SmsDeleter>>;

}  // namespace

void BindModem(py::module_& m) {
  py::class_<Modem> cls(m, "Modem",
                        "Opens and initialises the modem, queries it, restarts it and closes the port. Every object of\n"
                        "one thread shares that thread's single serial port; the class keeps no state.\n\n"
                        "Init, ShutDown, SignalStrength, OperatorName and IsConnectToGSM turn run-time errors into\n"
                        "their failure values; Reboot, GetIMSI and GetMSISDN raise quandelstk.RuntimeError.");
  cls.def(py::init<>());
  cls.def(
      "Init",
      [](Modem& self, const py::object& intPort, const py::str& PIN) {
        const std::int16_t port = PortArgument(intPort);
        const std::string pin = ToCore(PIN, "Modem.Init: PIN");
        const InitStatus status = Released([&] { return self.Init(port, pin); });
        return InitStatusOf(static_cast<std::int32_t>(status));
      },
      py::arg("intPort"), py::arg("PIN") = "",
      "Opens port intPort, probes the speed (115200, then 9600 three times), learns the maker, settles the\n"
      "SIM PIN and leaves the modem in text mode. Returns an InitStatus; any status but OK leaves the port\n"
      "closed. intPort is a number of the port table (assign_port) or a device path (\"/dev/ttyUSB0\").\n"
      "A run-time error gives InitStatus.Fail. Call ShutDown before initialising again.");
  cls.def(
      "ShutDown", [](Modem& self) { return Released([&] { return self.ShutDown(); }); },
      "Closes the port: False when it was not open.");
  cls.def(
      "Reboot", [](Modem& self) { return Released([&] { return self.Reboot(); }); },
      "Restarts the radio (AT+CFUN=1) and waits up to twelve times a second for registration.\n"
      "Raises quandelstk.RuntimeError (8012 when the port is not open).");
  cls.def(
      "SignalStrength", [](Modem& self) { return Released([&] { return self.SignalStrength(); }); },
      "The signal level, 0 to 3; -1 when unknown.");
  cls.def(
      "OperatorName", [](Modem& self) { return FromCore(Released([&] { return self.OperatorName(); })); },
      "The long alphanumeric operator name, \"\" when not registered.");
  cls.def(
      "FindCOMPort",
      [](Modem& self, const py::int_& iStart, const py::int_& iEnd) {
        std::int16_t start = ToShort(iStart, "Modem.FindCOMPort: iStart");
        std::int16_t end = ToShort(iEnd, "Modem.FindCOMPort: iEnd");
        const std::int16_t port = Released([&] { return self.FindCOMPort(start, end); });
        return py::make_tuple(port, start, end);
      },
      py::arg("iStart"), py::arg("iEnd"),
      "The first port from iStart to iEnd whose modem names WAVECOM as its maker, 0 for none. The port is\n"
      "left closed.\n\n"
      "iStart and iEnd are by-reference parameters: returns (port, iStart, iEnd), the parameters as they\n"
      "are afterwards (the library reads them and never changes them).");
  cls.def(
      "IsConnectToGSM", [](Modem& self) { return Released([&] { return self.IsConnectToGSM(); }); },
      "True when registered to the home network or roaming (three tries, a second apart).");
  cls.def(
      "GetIMSI", [](Modem& self) { return FromCore(Released([&] { return self.GetIMSI(); })); },
      "The SIM's IMSI; \"\" unless the modem's maker is WAVECOM. Raises quandelstk.RuntimeError.");
  cls.def(
      "GetMSISDN", [](Modem& self) { return FromCore(Released([&] { return self.GetMSISDN(); })); },
      "The SIM's own number; \"\" unless the modem's maker is WAVECOM. Raises quandelstk.RuntimeError,\n"
      "number 9, when the SIM stores no own number.");
}

void BindSMS(py::module_& m) {
  SMSClass cls(m, "SMS",
               "Sends short messages (text mode, 7-bit PDU, UCS2 PDU, concatenated parts), reads the first stored\n"
               "message (text or PDU mode) and deletes it, switches and fetches delivery reports, and tests whether\n"
               "a number answers a call.\n\n"
               "Unlike a COM host's, releasing an SMS object closes no port (Python's garbage collector would\n"
               "choose the moment): Modem.ShutDown closes it.\n\n"
               "ReadSMS and ReadSMSText trap their run-time errors (False); every other method raises them as\n"
               "quandelstk.RuntimeError.");
  cls.def(py::init<>());
  const char* c = "SMS";
  TextProperty(cls, c, "IDD", &SMS::IDD, &SMS::IDD, "Free for the script: no method reads or writes it.");
  TextProperty(cls, c, "MN", &SMS::MN, &SMS::MN, "The sender of the message read last.");
  TextProperty(cls, c, "Msg", &SMS::Msg, &SMS::Msg, "The text of the message read last.");
  TextProperty(cls, c, "SMSC", &SMS::SMSC, &SMS::SMSC, "The service centre of the message read last.");
  TextProperty(cls, c, "SCTS", &SMS::SCTS, &SMS::SCTS,
               "The service centre's time stamp of the message read last: ReadSMS gives \"yy/MM/dd hh:mm:ss\",\n"
               "ReadSMSText \"dd-MM-yy,hh:mm:ss+zz\".");
  TextProperty(cls, c, "MR", &SMS::MR, &SMS::MR,
               "The message reference of the message sent last, as the modem wrote it up to its OK (line\n"
               "breaks included).");
  TextProperty(cls, c, "DRMsgRef", &SMS::DRMsgRef, &SMS::DRMsgRef, "Delivery report fetched last: the message reference.");
  TextProperty(cls, c, "DRMNRecipient", &SMS::DRMNRecipient, &SMS::DRMNRecipient,
               "Delivery report fetched last: the recipient.");
  TextProperty(cls, c, "DRRDate", &SMS::DRRDate, &SMS::DRRDate,
               "Delivery report fetched last: the date the centre received the message.");
  TextProperty(cls, c, "DRRTime", &SMS::DRRTime, &SMS::DRRTime,
               "Delivery report fetched last: the time the centre received the message.");
  TextProperty(cls, c, "DRFDate", &SMS::DRFDate, &SMS::DRFDate,
               "Delivery report fetched last: the date the message was delivered (or given up).");
  TextProperty(cls, c, "DRFTime", &SMS::DRFTime, &SMS::DRFTime,
               "Delivery report fetched last: the time the message was delivered (or given up).");
  cls.def_property(
      "DRStatus", [](const SMS& self) { return DeliveryStatusOf(static_cast<std::int32_t>(self.DRStatus())); },
      [](SMS& self, const py::int_& value) {
        const long long v = value.cast<long long>();
        if (v < INT32_MIN || v > INT32_MAX) throw py::value_error("SMS.DRStatus: not a 32-bit value");
        self.DRStatus(static_cast<DeliveryStatus>(static_cast<std::int32_t>(v)));
      },
      "Delivery report fetched last: a DeliveryStatus (any 32-bit int is stored; one that is not a\n"
      "DeliveryStatus comes back as a plain int). Raises quandelstk.RuntimeError 13 while no status was\n"
      "stored.");
  TextProperty(cls, c, "ToNumber", &SMS::ToNumber, &SMS::ToNumber,
               "The number the senders use when their number argument is empty.");
  cls.def_property(
      "ToMessage", [](const SMS& self) { return FromMessageValue(self.ToMessage()); },
      [](SMS& self, const py::object& value) { self.ToMessage(ToMessageValue(value)); },
      "The message the senders use when their message argument is empty; like a COM Variant it takes any\n"
      "value. None is empty; a str is kept as text; an int or float as a number (sent as an automation\n"
      "host writes it: 7, 7.5, 1E+20; a whole number comes back as an int); any other object is kept by\n"
      "reference, and its str() is taken every time a sender falls back to it, so a change of the object\n"
      "after it was stored is seen by the next send (an object whose type defines neither __str__ nor\n"
      "__repr__ has no text: the send raises quandelstk.RuntimeError 13). The get gives back the stored\n"
      "object itself.");
  cls.def_property(
      "IsLMS", [](const SMS& self) { return self.IsLMS(); },
      [](SMS& self, bool value) { self.IsLMS(value); },
      "True when the message read last by ReadSMSText was a part of a concatenated message.");
  ShortProperty(cls, c, "LMS_Reference", &SMS::LMS_Reference, &SMS::LMS_Reference,
                "The concatenation reference of the message read last by ReadSMSText.");
  ShortProperty(cls, c, "LMS_Total", &SMS::LMS_Total, &SMS::LMS_Total,
                "How many parts the concatenated message read last by ReadSMSText has.");
  ShortProperty(cls, c, "LMS_Sequence", &SMS::LMS_Sequence, &SMS::LMS_Sequence,
                "Which part (from 1) the message read last by ReadSMSText is.");

  cls.def(
      "ReadSMS", [](SMS& self) { return Released([&] { return self.ReadSMS(); }); },
      "Reads the first stored received message in text mode into MN, SCTS, SMSC and Msg, then deletes it\n"
      "from the SIM. True only when the deletion was acknowledged. Traps every run-time error: one log\n"
      "record, then False.");
  cls.def(
      "ReadSMSText", [](SMS& self) { return Released([&] { return self.ReadSMSText(); }); },
      "Reads the first stored received message in PDU mode, decodes it (7-bit, 8-bit or UCS2, and the\n"
      "concatenation header) into MN, Msg, SMSC, SCTS, IsLMS, LMS_Reference, LMS_Total and LMS_Sequence,\n"
      "deletes it and returns to text mode. True when the message was fetched, decoded and stored. Traps\n"
      "every run-time error: one log record, then False.");
  cls.def(
      "SendSMS",
      [](SMS& self, const py::str& strHP, const py::str& strMsg) {
        const std::string number = ToCore(strHP, "SMS.SendSMS: strHP");
        const std::string message = ToCore(strMsg, "SMS.SendSMS: strMsg");
        return Released([&] { return self.SendSMS(number, message); });
      },
      py::arg("strHP") = "", py::arg("strMsg") = "",
      "Sends a message in text mode (the modem builds the PDU); an empty number falls back to ToNumber,\n"
      "an empty message to ToMessage. Sets MR when the modem reports a reference.");
  const auto pdu_sender = [&](const char* name, bool (SMS::*send)(const std::string&, const std::string&),
                              const char* doc) {
    const std::string where = std::string("SMS.") + name + ": ";
    cls.def(
        name,
        [send, where](SMS& self, const py::str& strMobileNumber, const py::str& strMessage) {
          const std::string number = ToCore(strMobileNumber, where + "strMobileNumber");
          const std::string message = ToCore(strMessage, where + "strMessage");
          return Released([&] { return (self.*send)(number, message); });
        },
        py::arg("strMobileNumber"), py::arg("strMessage"), doc);
  };
  pdu_sender("SendSMSText", &SMS::SendSMSText,
             "Sends one GSM 7-bit message in PDU mode, at most 160 characters. An empty number falls back to\n"
             "ToNumber, an empty message to ToMessage.");
  pdu_sender("SendSMSUnicode", &SMS::SendSMSUnicode,
             "Sends one UCS2 message in PDU mode; strMessage is UCS2 hex, four digits per character, at most 280\n"
             "digits: quandelstk.ucs2_hex(text) makes it.");
  cls.def(
      "SendLMSText",
      [](SMS& self, const py::str& strMobileNumber, const py::str& strMessage, const py::int_& intMessageReference) {
        const std::string number = ToCore(strMobileNumber, "SMS.SendLMSText: strMobileNumber");
        const std::string message = ToCore(strMessage, "SMS.SendLMSText: strMessage");
        const std::int16_t reference = ToShort(intMessageReference, "SMS.SendLMSText: intMessageReference");
        return Released([&] { return self.SendLMSText(number, message, reference); });
      },
      py::arg("strMobileNumber"), py::arg("strMessage"), py::arg("intMessageReference"),
      "Sends a long 7-bit message as concatenated parts of 153 characters, every part carrying the\n"
      "reference intMessageReference (0 to 255). Parts sent before a failing one stay sent.");
  cls.def(
      "DeliveryReportOn", [](SMS& self) { return Released([&] { return self.DeliveryReportOn(); }); },
      "Text-mode sends request a status report, and reports are stored in the modem.");
  cls.def(
      "DeliveryReportOff", [](SMS& self) { return Released([&] { return self.DeliveryReportOff(); }); },
      "Text-mode sends no longer request a status report.");
  cls.def(
      "GetDeliveryReport", [](SMS& self) { return Released([&] { return self.GetDeliveryReport(); }); },
      "Fetches the first stored status report into DRMsgRef, DRMNRecipient, DRRDate, DRRTime, DRFDate,\n"
      "DRFTime and DRStatus, deletes it and selects the SIM storage again. True when the SIM storage was\n"
      "selected again after the report was stored.");
  cls.def(
      "IsOnline",
      [](SMS& self, const py::str& sNumber, const py::int_& iWait_Second) {
        std::string number = ToCore(sNumber, "SMS.IsOnline: sNumber");
        std::int16_t wait = ToShort(iWait_Second, "SMS.IsOnline: iWait_Second");
        const bool reachable = Released([&] { return self.IsOnline(number, wait); });
        return py::make_tuple(reachable, FromCore(number), wait);
      },
      py::arg("sNumber"), py::arg("iWait_Second") = 10,
      "Dials sNumber as a voice call, pauses iWait_Second seconds (0 to 32; any other value raises\n"
      "quandelstk.RuntimeError 5 before anything is dialled), asks for the call's state and hangs up.\n"
      "Reachable when the far end rings, has answered or holds the call.\n\n"
      "sNumber and iWait_Second are by-reference parameters: returns (reachable, sNumber, iWait_Second),\n"
      "the parameters as they are afterwards (the library reads them and never changes them).");
}

void BindSIMToolKit(py::module_& m) {
  py::class_<SIMToolKit> cls(
      m, "SIMToolKit",
      "Drives the SIM Application Toolkit through the modem maker's commands (AT+STSF, AT+STIN, AT+STGI,\n"
      "AT+STGR). The usual order: ActivateSTK, MainMenuDisplay, MainMenuSelect with an identifier from\n"
      "MainMenuList; then after each selection or submission STKStatusGet, and by its result\n"
      "SubMenuDisplay and SubMenuSelect, InputRequestDisplay and InputSubmit, ResponseDisplay or\n"
      "SMSSentDisplay; CloseSTK ends a session, DeactivateSTK switches the toolkit off.\n\n"
      "A menu list holds one line per item, \"<id>:<label>\", lines separated by CR LF. Every method traps\n"
      "its run-time errors and returns its failure value (STKUnknown, False or \"\").");
  cls.def(py::init<>());
  const char* c = "SIMToolKit";
  TextProperty(cls, c, "SubMenuList", &SIMToolKit::SubMenuList, &SIMToolKit::SubMenuList,
               "The items of the sub menu SubMenuDisplay fetched, \"<id>:<label>\" lines separated by CR LF.");
  TextProperty(cls, c, "SubMenuName", &SIMToolKit::SubMenuName, &SIMToolKit::SubMenuName,
               "The title of the sub menu SubMenuDisplay fetched.");
  TextProperty(cls, c, "MainMenuList", &SIMToolKit::MainMenuList, &SIMToolKit::MainMenuList,
               "The items of the main menu MainMenuDisplay fetched, \"<id>:<label>\" lines separated by CR LF.");
  TextProperty(cls, c, "MainMenuName", &SIMToolKit::MainMenuName, &SIMToolKit::MainMenuName,
               "The title of the main menu MainMenuDisplay fetched.");
  cls.def(
      "STKStatusGet",
      [](SIMToolKit& self) {
        const STKStatus status = Released([&] { return self.STKStatusGet(); });
        return STKStatusOf(static_cast<std::int32_t>(status));
      },
      Doc(c, "STKStatusGet", "Returns an STKStatus; STKUnknown also for every failure to learn it.").c_str());
  const auto flag = [&](const char* name, bool (SIMToolKit::*call)(), const std::string& notes) {
    cls.def(
        name, [call](SIMToolKit& self) { return Released([&] { return (self.*call)(); }); },
        Doc(c, name, notes).c_str());
  };
  const auto text = [&](const char* name, std::string (SIMToolKit::*call)(), const std::string& notes) {
    cls.def(
        name, [call](SIMToolKit& self) { return FromCore(Released([&] { return (self.*call)(); })); },
        Doc(c, name, notes).c_str());
  };
  const auto select = [&](const char* name, bool (SIMToolKit::*call)(std::int16_t), const std::string& notes) {
    const std::string where = std::string("SIMToolKit.") + name + ": ItemSelect";
    cls.def(
        name,
        [call, where](SIMToolKit& self, const py::int_& ItemSelect) {
          const std::int16_t item = ToShort(ItemSelect, where);
          return Released([&] { return (self.*call)(item); });
        },
        py::arg("ItemSelect"), Doc(c, name, notes).c_str());
  };
  flag("MainMenuDisplay", &SIMToolKit::MainMenuDisplay,
       "A SIM without a menu yet gets up to eight attempts and one radio restart.");
  select("MainMenuSelect", &SIMToolKit::MainMenuSelect,
         "A refused selection is tried three times, the menu fetched again after each.");
  flag("SubMenuDisplay", &SIMToolKit::SubMenuDisplay, "A failed fetch leaves both properties as they were.");
  select("SubMenuSelect", &SIMToolKit::SubMenuSelect, "");
  text("InputRequestDisplay", &SIMToolKit::InputRequestDisplay,
       "The prompt of a pending input request (STKStatus.STKInputRequest), \"\" when there is none.");
  cls.def(
      "InputSubmit",
      [](SIMToolKit& self, const py::str& UserInputSubmit) {
        const std::string input = ToCore(UserInputSubmit, "SIMToolKit.InputSubmit: UserInputSubmit");
        return Released([&] { return self.InputSubmit(input); });
      },
      py::arg("UserInputSubmit"),
      Doc(c, "InputSubmit",
          "An input of exactly \"OK\" in any letter case confirms a displayed text and sends nothing else;\n"
          "any other input, the empty one included, answers an input request.")
          .c_str());
  text("ResponseDisplay", &SIMToolKit::ResponseDisplay,
       "The text the toolkit shows in response (STKStatus.STKResponse), \"\" when there is none.");
  text("SMSSentDisplay", &SIMToolKit::SMSSentDisplay,
       "The notice of a short message the toolkit sent (STKStatus.STKSMSSent), \"\" when there is none.");
  flag("ActivateSTK", &SIMToolKit::ActivateSTK,
       "Sends the terminal profile and switches the toolkit on; True when the modem reports it on with a\n"
       "profile we know.");
  flag("CloseSTK", &SIMToolKit::CloseSTK, "");
  flag("DeactivateSTK", &SIMToolKit::DeactivateSTK,
       "Then puts the short-message settings back the way Init left them. A run-time error while restoring\n"
       "them closes the port: call Modem.Init again before anything else.");
}

void BindUSSD(py::module_& m) {
  py::class_<USSD> cls(m, "USSD",
                       "Sends a USSD string (a balance enquiry, a menu choice) and returns the network's text, listens\n"
                       "for a notification the network starts itself, and cancels a running dialogue. Every method\n"
                       "traps its run-time errors: one log record, then \"\" or False.");
  cls.def(py::init<>());
  TextProperty(cls, "USSD", "USSDNotification", &USSD::USSDNotification, &USSD::USSDNotification,
               "The text of the notification USSDListen received last; \"\" until then.");
  cls.def(
      "USSDListen",
      [](USSD& self, const py::int_& iTimeOutSeconds) {
        const std::int16_t seconds = ToShort(iTimeOutSeconds, "USSD.USSDListen: iTimeOutSeconds");
        return Released([&] { return self.USSDListen(seconds); });
      },
      py::arg("iTimeOutSeconds") = 3,
      "Waits up to iTimeOutSeconds (0 means 7; a negative value reads the port once) for a notification\n"
      "the network sends on its own. True when one arrived; its text is then in USSDNotification.");
  cls.def(
      "USSD",
      [](USSD& self, const py::str& Command) {
        const std::string command = ToCore(Command, "USSD.USSD: Command");
        return FromCore(Released([&] { return self.Send(command); }));
      },
      py::arg("Command"),
      "Sends Command as the user would dial it (\"*100#\", or a menu choice such as \"2\") and waits up to\n"
      "15 seconds for the network's answer: its text, or \"\" when the port is closed, the network refuses\n"
      "the code, reports no text, or nothing complete arrives in time.");
  cls.def(
      "Cancel", [](USSD& self) { return Released([&] { return self.Cancel(); }); },
      "Ends the running USSD dialogue. True when the modem accepted it.");
}

void BindPhonebook(py::module_& m) {
  py::class_<Phonebook> cls(
      m, "Phonebook",
      "Reads, writes and deletes entries of the SIM phonebook (\"SM\") and reports how many locations it has\n"
      "and how many are in use. Every method selects the SIM phonebook first and returns its failure value\n"
      "(-1 or False) when that fails (a closed port included); an answer too malformed to cut raises\n"
      "quandelstk.RuntimeError.");
  cls.def(py::init<>());
  const char* c = "Phonebook";
  TextProperty(cls, c, "PhonebookNumber", &Phonebook::PhonebookNumber, &Phonebook::PhonebookNumber,
               "The entry PhonebookRead read last; writing it changes nothing on the SIM.");
  TextProperty(cls, c, "PhonebookName", &Phonebook::PhonebookName, &Phonebook::PhonebookName,
               "The entry PhonebookRead read last; writing it changes nothing on the SIM.");
  cls.def(
      "TotalSpace", [](Phonebook& self) { return Released([&] { return self.TotalSpace(); }); },
      Doc(c, "TotalSpace", "").c_str());
  cls.def(
      "TotalUsed", [](Phonebook& self) { return Released([&] { return self.TotalUsed(); }); },
      Doc(c, "TotalUsed", "").c_str());
  cls.def(
      "PhonebookDelete",
      [](Phonebook& self, const py::int_& intLocation) {
        const std::int16_t location = ToShort(intLocation, "Phonebook.PhonebookDelete: intLocation");
        return Released([&] { return self.PhonebookDelete(location); });
      },
      py::arg("intLocation"), Doc(c, "PhonebookDelete", "").c_str());
  cls.def(
      "PhonebookWrite",
      [](Phonebook& self, const py::int_& intLocation, const py::str& strNumber, const py::str& strName) {
        const std::int16_t location = ToShort(intLocation, "Phonebook.PhonebookWrite: intLocation");
        const std::string number = ToCore(strNumber, "Phonebook.PhonebookWrite: strNumber");
        const std::string name = ToCore(strName, "Phonebook.PhonebookWrite: strName");
        return Released([&] { return self.PhonebookWrite(location, number, name); });
      },
      py::arg("intLocation"), py::arg("strNumber"), py::arg("strName"),
      Doc(c, "PhonebookWrite",
          "The number's type is left to the modem (international with a leading \"+\"); a double quote in the\n"
          "number or the name ends the command's text early.")
          .c_str());
  cls.def(
      "PhonebookRead",
      [](Phonebook& self, const py::int_& intLocation) {
        const std::int16_t location = ToShort(intLocation, "Phonebook.PhonebookRead: intLocation");
        return Released([&] { return self.PhonebookRead(location); });
      },
      py::arg("intLocation"),
      Doc(c, "PhonebookRead",
          "Reads the location into PhonebookNumber and PhonebookName. False for an empty location, and then\n"
          "both keep their values.")
          .c_str());
}

}  // namespace quandelstk::python
