// QuandelSTK6 from JScript, all five classes: Init without its PIN, a message there and back in both
// reading modes, SendSMS() and USSDListen() with their optional arguments omitted, a USSD code, a
// phonebook entry written and read back, the toolkit's main menu and a response, and run-time
// errors as exceptions carrying the full automation error code and the library's description.
var passed = 0, failed = 0;
function check(ok, what) {
  if (ok) passed++;
  else { failed++; WScript.Echo("FAIL " + what); }
}
// Wine's script host has no WScript.Sleep: a short busy pause between attempts.
function pause(ms) {
  var until = new Date().getTime() + ms;
  while (new Date().getTime() < until) {}
}
function readWhenArrived(s, pdu) {
  for (var attempt = 0; attempt < 40; attempt++) {
    if (attempt > 0) pause(200);
    if (pdu ? s.ReadSMSText() : s.ReadSMS()) return true;
  }
  return false;
}

var own = "+15550100999";
var port = parseInt(WScript.Arguments(0), 10);
var m = new ActiveXObject("QuandelSTK6.Modem");
var s = new ActiveXObject("QuandelSTK6.SMS");
check(m.Init(port) == 1, "Init(port) without a PIN");
check(m.OperatorName() == "Quandel Mobile", "OperatorName");

check(s.SendSMS(own, "jscript text") == true, "SendSMS");
check(readWhenArrived(s, false), "ReadSMS");
check(s.Msg == "jscript text" && s.MN == own, "text mode read back: " + s.Msg);

check(s.SendSMSText(own, "jscript pdu") == true, "SendSMSText");
check(readWhenArrived(s, true), "ReadSMSText");
check(s.Msg == "jscript pdu", "PDU mode read back: " + s.Msg);

s.ToNumber = own;
s.ToMessage = "jscript defaults";
check(s.SendSMS() == true, "SendSMS() without arguments");
check(readWhenArrived(s, false), "read back");
check(s.Msg == "jscript defaults", "the properties were sent: " + s.Msg);

var u = new ActiveXObject("QuandelSTK6.USSD");
check(u.USSD("*100#") == "Your balance is 10.00 EUR", "USSD(\"*100#\")");
var started = new Date().getTime();
check(u.USSDListen() === false, "USSDListen() with nothing arriving");
var took = new Date().getTime() - started;
check(took >= 2900 && took < 6000, "USSDListen() waited its default 3 seconds (" + took + " ms)");

var b = new ActiveXObject("QuandelSTK6.Phonebook");
check(b.PhonebookWrite(12, "+15550100321", "J. Script") === true, "PhonebookWrite");
check(b.PhonebookRead(12) === true, "PhonebookRead");
check(b.PhonebookNumber == "+15550100321" && b.PhonebookName == "J. Script",
      "the entry read back: " + b.PhonebookNumber + " " + b.PhonebookName);
check(b.TotalUsed() == 1 && b.TotalSpace() == 250, "TotalUsed 1 of TotalSpace 250");
// classes.json makes the modem answer AT+CPBR=9 with a line without commas: PhonebookRead has no
// trap, so the invalid procedure call (5) reaches the script.
var pbError = null;
try {
  b.PhonebookRead(9);
} catch (e) {
  pbError = e;
}
check(pbError !== null && (pbError.number >>> 0) == 0x800A0005,
      "PhonebookRead(9) throws 0x800A0005: " + (pbError ? (pbError.number >>> 0).toString(16) : "nothing"));
check(pbError !== null && pbError.description.indexOf("Invalid procedure call") == 0,
      "with its description: " + (pbError ? pbError.description : ""));

var t = new ActiveXObject("QuandelSTK6.SIMToolKit");
check(t.ActivateSTK() === true, "ActivateSTK");
check(t.STKStatusGet() === 0, "STKStatusGet: STKMainMenu (0)");
check(t.MainMenuDisplay() === true && t.MainMenuName == "SIM Services", "MainMenuDisplay: " + t.MainMenuName);
check(t.MainMenuList.split("\r\n").length == 4, "four items in MainMenuList");
check(t.MainMenuSelect(1) === true, "MainMenuSelect(1)");
check(t.STKStatusGet() === 1, "STKStatusGet: STKResponse (1)");
check(t.ResponseDisplay() == "Your balance is 10.00", "ResponseDisplay: " + t.ResponseDisplay());
check(t.CloseSTK() === true && t.DeactivateSTK() === true, "CloseSTK and DeactivateSTK");

// On a closed port the Phonebook gives -1 (its storage selection traps); Reboot has no trap.
m.ShutDown();
check(b.TotalSpace() == -1, "TotalSpace on a closed port: -1");
var caught = null;
try {
  m.Reboot();
} catch (e) {
  caught = e;
}
check(caught !== null, "Reboot on a closed port throws");
if (caught) {
  // JScript shows the whole HRESULT 0x800A0000 + 8012, as a signed number.
  check((caught.number >>> 0) == 0x800A1F4C, "the error code is 0x800A1F4C: " + (caught.number >>> 0).toString(16));
  check(caught.description.indexOf("Port not open") == 0, "the description: " + caught.description);
}

WScript.Echo("classes.js: " + passed + " passed, " + failed + " failed");
