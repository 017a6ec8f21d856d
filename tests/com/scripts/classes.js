// QuandelSTK6 from JScript, which passes its numbers as 32-bit values and its omitted arguments its
// own way: all five classes once, the SMS text properties by name, Init without its PIN, SendSMS()
// with its optional arguments omitted, and run-time errors as exceptions carrying the full
// automation error code and the library's description.
var passed = 0, failed = 0;
function check(ok, what) {
  if (ok) passed++;
  else { failed++; WScript.Echo("FAIL " + what); }
}
// The error code a call throws, as an unsigned number, and its description.
function thrown(call) {
  try { call(); } catch (e) { return [(e.number >>> 0).toString(16), e.description]; }
  return ["nothing", ""];
}

var own = "+15550100999";
var port = parseInt(WScript.Arguments(0), 10);
var m = new ActiveXObject("QuandelSTK6.Modem");
var s = new ActiveXObject("QuandelSTK6.SMS");
check(m.Init(port) == 1, "Init(port) without a PIN");
check(m.OperatorName() == "Quandel Mobile", "OperatorName");
s.ToNumber = own;
s.ToMessage = "jscript defaults";
check(s.SendSMS() === true, "SendSMS() without arguments");
for (var attempt = 0; attempt < 40 && !s.ReadSMS(); attempt++) {
  for (var until = new Date().getTime() + 200; new Date().getTime() < until;) {}  // no WScript.Sleep under Wine
}
check(s.Msg == "jscript defaults", "the properties were sent: " + s.Msg);
// Every text property keeps what the host put, each its own (through the ANSI code page).
var names = ["IDD", "MN", "Msg", "SMSC", "MR", "SCTS", "DRMsgRef", "DRMNRecipient", "DRRTime", "DRRDate", "DRFTime",
             "DRFDate", "ToNumber"];
for (var i = 0; i < names.length; i++) s[names[i]] = names[i] + " \u00e9";
for (var i = 0; i < names.length; i++) check(s[names[i]] == names[i] + " \u00e9", names[i] + ": " + s[names[i]]);

var u = new ActiveXObject("QuandelSTK6.USSD");
check(u.USSD("*100#") == "Your balance is 10.00 EUR", "USSD(\"*100#\")");
var b = new ActiveXObject("QuandelSTK6.Phonebook");
check(b.PhonebookWrite(12, "+15550100321", "J. Script") === true && b.PhonebookRead(12) === true, "PhonebookWrite, Read");
check(b.PhonebookNumber == "+15550100321" && b.PhonebookName == "J. Script", "read back: " + b.PhonebookName);
// classes.json answers AT+CPBR=9 with a line without commas: PhonebookRead has no trap.
var e = thrown(function () { b.PhonebookRead(9); });
check(e[0] == "800a0005" && e[1].indexOf("Invalid procedure call") == 0, "PhonebookRead(9) throws 5: " + e);
var t = new ActiveXObject("QuandelSTK6.SIMToolKit");
check(t.ActivateSTK() === true && t.STKStatusGet() === 0, "ActivateSTK, STKStatusGet: STKMainMenu (0)");
check(t.MainMenuSelect(1) === true && t.ResponseDisplay() == "Your balance is 10.00", "MainMenuSelect(1), response");
check(t.CloseSTK() === true && t.DeactivateSTK() === true, "CloseSTK and DeactivateSTK");

m.ShutDown();
e = thrown(function () { m.Reboot(); });
check(e[0] == "800a1f4c" && e[1].indexOf("Port not open") == 0, "Reboot on a closed port throws 8012: " + e);

WScript.Echo("classes.js: " + passed + " passed, " + failed + " failed");
