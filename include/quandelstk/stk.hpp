// The SIMToolKit class: drives the SIM Application Toolkit through the modem maker's commands
// (AT+STSF, AT+STIN, AT+STGI, AT+STGR). It switches the toolkit on and off, tells what the SIM wants
// next, fetches and selects its menus, shows and answers its input requests, shows its responses and
// the notices of messages it sent, and ends a toolkit session.
//
// The object holds no port: it talks on the thread's serial port that Modem::Init opened. It keeps
// only the four menu properties; the toolkit's state lives in the SIM, so ask STKStatusGet each time.
//
// Every method catches the run-time failures inside it (RuntimeError) and returns its failure value
// instead: STKUnknown, false or "". A property a method had already written before the failure keeps
// its new value. DeactivateSTK is the one call that may close the port (see there).
//
// The usual order: ActivateSTK, MainMenuDisplay, MainMenuSelect with an identifier from
// MainMenuList; then, after each selection or submission, STKStatusGet and by its result
// SubMenuDisplay and SubMenuSelect (STKSubMenu), InputRequestDisplay and InputSubmit
// (STKInputRequest), ResponseDisplay (STKResponse) or SMSSentDisplay (STKSMSSent); CloseSTK to end a
// session and DeactivateSTK to switch the toolkit off.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "quandelstk/enums.hpp"
#include "quandelstk/export.hpp"

namespace quandelstk {

class QUANDELSTK_API SIMToolKit {
 public:
  // --- Properties: a put stores the value unchanged, with no modem traffic. ---------------------
  //
  // A menu list holds one line per item, "<id>:<label>", lines separated by CR LF with none after
  // the last; a menu without items gives "".

  // Filled by SubMenuDisplay.
  const std::string& SubMenuList() const { return sub_menu_list_; }
  void SubMenuList(std::string value) { sub_menu_list_ = std::move(value); }
  const std::string& SubMenuName() const { return sub_menu_name_; }
  void SubMenuName(std::string value) { sub_menu_name_ = std::move(value); }
  // Filled by MainMenuDisplay.
  const std::string& MainMenuList() const { return main_menu_list_; }
  void MainMenuList(std::string value) { main_menu_list_ = std::move(value); }
  const std::string& MainMenuName() const { return main_menu_name_; }
  void MainMenuName(std::string value) { main_menu_name_ = std::move(value); }

  // --- Status and menus --------------------------------------------------------------------------

  // What the toolkit has pending ("AT+STIN?"); STKUnknown for any other indication and for every
  // failure to learn it.
  STKStatus STKStatusGet();
  // Fetches the main menu into MainMenuName and MainMenuList. Valid when the status is STKMainMenu
  // or ActivateSTK returned true. A SIM that has no menu yet gets up to eight attempts a second or
  // two apart, and one radio restart ("AT+CFUN=1") after the first; when that restart fails the
  // properties are left as they were. Both properties are emptied before the answer is cut.
  bool MainMenuDisplay();
  // Selects an item of the main menu; a refused selection is tried three times, the menu fetched
  // again after each.
  bool MainMenuSelect(std::int16_t ItemSelect);
  // Fetches the current sub menu into SubMenuName and SubMenuList. Valid when the status is
  // STKSubMenu. A failed fetch leaves both properties as they were.
  bool SubMenuDisplay();
  bool SubMenuSelect(std::int16_t ItemSelect);

  // --- Input, responses and the session ----------------------------------------------------------

  // The prompt of a pending input request (status STKInputRequest), "" when there is none.
  std::string InputRequestDisplay();
  // Answers the toolkit. An input of exactly "OK" in any letter case confirms a displayed text
  // ("AT+STGR=1") and sends nothing else; any other input, the empty one included, is sent as the
  // answer to an input request.
  bool InputSubmit(const std::string& UserInputSubmit);
  // The text the toolkit shows in response (status STKResponse), "" when there is none.
  std::string ResponseDisplay();
  // The notice of a short message the toolkit sent (status STKSMSSent), "" when there is none.
  std::string SMSSentDisplay();
  // Sends the terminal profile and switches the toolkit on; true when the modem reports it on with a
  // profile we know.
  bool ActivateSTK();
  // Ends the current toolkit session.
  bool CloseSTK();
  // Switches the toolkit off, then puts the short-message settings back the way Init left them
  // (message service, text mode, header details, indications), trying that up to three times.
  // True whenever the toolkit went off, even if the settings could not be restored. A run-time
  // failure while restoring closes the port: call Modem::Init again before anything else.
  bool DeactivateSTK();

 private:
  bool RestoreSMSSettings();

  std::string sub_menu_list_, sub_menu_name_, main_menu_list_, main_menu_name_;
};

}  // namespace quandelstk
