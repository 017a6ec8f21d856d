// The SMS class: sends short messages (text mode, 7-bit PDU, UCS2 PDU, concatenated parts), reads the
// first stored message (text mode or PDU mode) and deletes it, switches and fetches delivery reports,
// and tests whether a number answers a call.
//
// ============================================================================================
//  DESTROYING ANY SMS OBJECT CLOSES THE SERIAL PORT OF ITS THREAD.
//
//  The destructor unloads the thread's serial control (channel::UnloadSerialControl), exactly as
//  releasing an SMS object does for a COM host. Every object of that thread - other SMS objects,
//  the Modem, SIMToolKit, USSD and Phonebook objects - then finds the port closed and fails until
//  Modem::Init opens it again. This happens for each SMS object destroyed, however many others are
//  still alive, and it happens on the thread that runs the destructor.
//
//  So keep one SMS object for as long as you use the modem, and do not create short-lived ones
//  (a temporary in an expression, a local in a helper function) between Init and your last call.
//  For the same reason SMS objects cannot be copied or moved: every copy would close the port
//  again when it goes away. Hold one in a std::unique_ptr if it must change owners.
// ============================================================================================
//
// Objects hold no port of their own: all objects of one thread share its single serial port, which
// Modem::Init opens and leaves in text mode with the long text-mode header shown. Results report
// ordinary failures (false); run-time failures are RuntimeError exceptions. ReadSMS and ReadSMSText
// catch every RuntimeError inside them, write one record to the daily log and return false; all other
// methods let the exception through to the caller.
#pragma once

#include <concepts>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "quandelstk/enums.hpp"
#include "quandelstk/export.hpp"

namespace quandelstk {

// An object a host stores in ToMessage by reference. The senders ask it for its text every time they
// fall back to ToMessage, so a change of the object after it was stored is seen by the next send.
class QUANDELSTK_API MessageObject {
 public:
  virtual ~MessageObject() = default;
  // The object's default value as text, or std::nullopt when it has none.
  virtual std::optional<std::string> DefaultText() const = 0;
};

// The value of ToMessage: empty, a text, a number, or a reference to a host object.
class QUANDELSTK_API MessageValue {
 public:
  using Object = std::shared_ptr<MessageObject>;

  MessageValue() = default;
  MessageValue(std::string text) : value_(std::move(text)) {}
  MessageValue(const char* text) : value_(std::string(text)) {}
  MessageValue(double number) : value_(number) {}
  MessageValue(std::int32_t number) : value_(static_cast<double>(number)) {}
  // The put-by-reference form: the object itself is kept, not its value.
  template <typename T>
  requires std::derived_from<T, MessageObject> MessageValue(std::shared_ptr<T> object)
      : value_(Object(std::move(object))) {}

  bool IsEmpty() const { return std::holds_alternative<std::monostate>(value_); }
  bool IsText() const { return std::holds_alternative<std::string>(value_); }
  bool IsNumber() const { return std::holds_alternative<double>(value_); }
  bool IsObject() const { return std::holds_alternative<Object>(value_); }
  // The stored alternative; std::bad_variant_access when it holds another.
  const std::string& Text() const { return std::get<std::string>(value_); }
  double Number() const { return std::get<double>(value_); }
  const Object& ObjectRef() const { return std::get<Object>(value_); }

  // The text form the senders use: "" when empty, the text, the number as an automation host writes
  // it (7, 7.5, 1E+20), or the object's default value. Raises the type-mismatch error (13) for an
  // object without a default value and for a null object reference.
  std::string ToText() const;

  friend bool operator==(const MessageValue&, const MessageValue&) = default;

 private:
  std::variant<std::monostate, std::string, double, Object> value_;
};

class QUANDELSTK_API SMS {
 public:
  SMS() = default;
  // Closes the thread's serial port: see the note at the top of this file.
  ~SMS();
  SMS(const SMS&) = delete;
  SMS& operator=(const SMS&) = delete;

  // --- Properties. A put stores the value unchanged, with no check and no modem traffic. ---------

  // Free for the host: no method reads or writes it.
  const std::string& IDD() const { return idd_; }
  void IDD(std::string value) { idd_ = std::move(value); }
  // Sender, text, service centre and time stamp of the message read last.
  const std::string& MN() const { return mn_; }
  void MN(std::string value) { mn_ = std::move(value); }
  const std::string& Msg() const { return msg_; }
  void Msg(std::string value) { msg_ = std::move(value); }
  const std::string& SMSC() const { return smsc_; }
  void SMSC(std::string value) { smsc_ = std::move(value); }
  // ReadSMS: "yy/MM/dd hh:mm:ss" without zone; ReadSMSText: "dd-MM-yy,hh:mm:ss+zz".
  const std::string& SCTS() const { return scts_; }
  void SCTS(std::string value) { scts_ = std::move(value); }
  // Message reference of the message sent last, as the modem wrote it up to its "OK": the line
  // breaks before the "OK" stay part of it ("12\r\n\r\n").
  const std::string& MR() const { return mr_; }
  void MR(std::string value) { mr_ = std::move(value); }
  // Fields of the delivery report fetched last.
  const std::string& DRMsgRef() const { return dr_msg_ref_; }
  void DRMsgRef(std::string value) { dr_msg_ref_ = std::move(value); }
  const std::string& DRMNRecipient() const { return dr_mn_recipient_; }
  void DRMNRecipient(std::string value) { dr_mn_recipient_ = std::move(value); }
  const std::string& DRRDate() const { return dr_r_date_; }
  void DRRDate(std::string value) { dr_r_date_ = std::move(value); }
  const std::string& DRRTime() const { return dr_r_time_; }
  void DRRTime(std::string value) { dr_r_time_ = std::move(value); }
  const std::string& DRFDate() const { return dr_f_date_; }
  void DRFDate(std::string value) { dr_f_date_ = std::move(value); }
  const std::string& DRFTime() const { return dr_f_time_; }
  void DRFTime(std::string value) { dr_f_time_ = std::move(value); }
  // Kept as the decimal text of the value (any 32-bit value is stored). On an object that never
  // stored a status the text is empty and the get raises the type-mismatch error (13).
  DeliveryStatus DRStatus() const;
  void DRStatus(DeliveryStatus value);
  // Used by the senders when their number or message argument is empty.
  const std::string& ToNumber() const { return to_number_; }
  void ToNumber(std::string value) { to_number_ = std::move(value); }
  // The get hands back the stored object reference itself when one was stored, else a copy.
  const MessageValue& ToMessage() const { return to_message_; }
  void ToMessage(MessageValue value) { to_message_ = std::move(value); }
  // Concatenation details of the message read last by ReadSMSText.
  bool IsLMS() const { return is_lms_; }
  void IsLMS(bool value) { is_lms_ = value; }
  std::int16_t LMS_Reference() const { return lms_reference_; }
  void LMS_Reference(std::int16_t value) { lms_reference_ = value; }
  std::int16_t LMS_Total() const { return lms_total_; }
  void LMS_Total(std::int16_t value) { lms_total_ = value; }
  std::int16_t LMS_Sequence() const { return lms_sequence_; }
  void LMS_Sequence(std::int16_t value) { lms_sequence_ = value; }

  // --- Reading ----------------------------------------------------------------------------------

  // Reads the first stored received message in text mode into MN, SCTS, SMSC and Msg, then deletes
  // it from the SIM. True only when the deletion was acknowledged. Listing marks every unread
  // message read. Traps every run-time failure: one log record, then false.
  bool ReadSMS();
  // Reads the same message in PDU mode, decodes it (coding and concatenation header included) into
  // MN, Msg, SMSC, SCTS and the LMS properties, deletes it and returns to text mode. True when the
  // message was fetched, decoded and stored. Traps every run-time failure: one log record, back to
  // text mode, then false.
  bool ReadSMSText();

  // --- Sending: an empty number falls back to ToNumber, an empty message to ToMessage's text. ----

  // Text mode: the modem builds the PDU. Sets MR when the modem reports a reference.
  bool SendSMS(const std::string& strHP = "", const std::string& strMsg = "");
  // One GSM 7-bit message in PDU mode, at most 160 characters.
  bool SendSMSText(const std::string& strMobileNumber, const std::string& strMessage);
  // One UCS2 message in PDU mode; strMessage is UCS2 hex (four digits per character), at most 280.
  bool SendSMSUnicode(const std::string& strMobileNumber, const std::string& strMessage);
  // A long 7-bit message as concatenated parts of 153 characters, every part carrying the reference
  // intMessageReference (0 to 255). Parts sent before a failing one stay sent.
  bool SendLMSText(const std::string& strMobileNumber, const std::string& strMessage,
                   std::int16_t intMessageReference);

  // --- Delivery reports --------------------------------------------------------------------------

  // Text-mode sends request a status report, and reports are stored in the modem.
  bool DeliveryReportOn();
  bool DeliveryReportOff();
  // Fetches the first stored status report into the DR properties, deletes it and selects the SIM
  // storage again. True when the SIM storage was selected again after the report was stored.
  bool GetDeliveryReport();

  // --- Reachability ------------------------------------------------------------------------------

  // Dials sNumber as a voice call, pauses iWait_Second seconds (a plain pause: nothing else runs on
  // this thread meanwhile), asks for the call's state and hangs up. True when the far end rings, has
  // answered or holds the call. The arguments are read, never changed.
  //
  // iWait_Second must lie in 0 to 32 (the wait is 16-bit milliseconds); any other value raises the
  // invalid-procedure-call error (5) before anything is checked or dialled, so no call is left
  // ringing. A "+CLCC:" line too short to hold a call state is hung up and gives false.
  bool IsOnline(std::string& sNumber, std::int16_t& iWait_Second);
  // Waits 10 seconds.
  bool IsOnline(std::string& sNumber);

 private:
  // The SIM storage index of the first listed received message, 0 when there is none or anything
  // fails (traps and logs like ReadSMS).
  std::int16_t ListSMS();
  // The message argument, or ToMessage's text when it is empty.
  std::string MessageOrDefault(const std::string& message) const;
  const std::string& NumberOrDefault(const std::string& number) const;
  bool SendPduMessage(const std::string& number, const std::string& message, std::int16_t coding,
                      std::int16_t send_timeout);

  std::string idd_, mn_, msg_, smsc_, scts_, mr_;
  std::string dr_msg_ref_, dr_mn_recipient_, dr_r_date_, dr_r_time_, dr_f_date_, dr_f_time_;
  std::string dr_status_;  // decimal text, empty until a status is stored
  std::string to_number_;
  MessageValue to_message_;
  bool is_lms_ = false;
  std::int16_t lms_reference_ = 0;
  std::int16_t lms_total_ = 0;
  std::int16_t lms_sequence_ = 0;
};

}  // namespace quandelstk
