// QuandelSTK6 from JScript: Init without its PIN, a message there and back in both reading modes,
// SendSMS() with its optional arguments omitted, and a run-time error as an exception carrying the
// full automation error code and the library's description.
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

m.ShutDown();
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

WScript.Echo("sms.js: " + passed + " passed, " + failed + " failed");
