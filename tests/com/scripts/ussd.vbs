' QuandelSTK6.USSD from VBScript: codes and a menu dialogue, an unknown code, USSDListen with its
' optional timeout omitted (nothing arrives; then a notification the network starts after a
' Cancel), and every method on a closed port giving its failure value without an error.
' The simulator sends "+CUSD: 0" with a text 1.5 s after the first AT+CUSD=2 (ussd.json).

Dim port, m, u, r, started, took
port = CInt(WScript.Arguments(0))
Set m = CreateObject("QuandelSTK6.Modem")
Set u = CreateObject("QuandelSTK6.USSD")
Check u.USSDNotification = "", "USSDNotification is empty at first"
Check m.Init(port) = 1, "Init"

' A code answered at once, and one that opens a menu dialogue: the menu text keeps its line break.
r = u.USSD("*100#")
Check VarType(r) = vbString, "USSD gives a String"
Check r = "Your balance is 10.00 EUR", "USSD(""*100#""): " & r
r = u.USSD("*101#")
Check r = "1 Balance" & vbLf & "2 Bundles", "USSD(""*101#"") opens the menu: " & Replace(r, vbLf, "|")
Check u.USSD("2") = "No bundles available", "the menu choice 2 is answered and ends the dialogue"
Check u.USSD("*999#") = "", "an unknown code (+CUSD: 4): empty"

' USSDListen without its argument waits 3 seconds; an explicit 1 waits 1. The clock counts whole
' seconds, so a wait of n seconds ends between n and n + 1 seconds. Nothing arrives, and
' USSDNotification keeps what the host stored.
u.USSDNotification = "stored by the host"
started = Timer
Check u.USSDListen() = False, "USSDListen() with nothing arriving: False"
took = Timer - started
Check took >= 2.9 And took < 6, "USSDListen() waited its default 3 seconds (" & Round(took, 1) & " s)"
started = Timer
Check u.USSDListen(1) = False, "USSDListen(1) with nothing arriving: False"
took = Timer - started
Check took >= 0.9 And took < 2.9, "USSDListen(1) waited 1 second (" & Round(took, 1) & " s)"
Check u.USSDNotification = "stored by the host", "a listen that heard nothing leaves USSDNotification"

' Cancel ends a running dialogue; the network then sends a notification of its own.
Check u.USSD("*101#") <> "", "the menu dialogue again"
Check u.Cancel() = True, "Cancel"
started = Timer
Check u.USSDListen() = True, "USSDListen() hears the network's notification"
took = Timer - started
Check took < 2.9, "it returned when the notification came, before its 3 seconds (" & Round(took, 1) & " s)"
Check u.USSDNotification = "Bonus credited, 5.00 EUR", "USSDNotification, blanks trimmed, comma kept: " & _
    u.USSDNotification
Check u.USSD("2") = "", "after Cancel, 2 is no menu choice but an unknown code"

' Every USSD method traps: on a closed port they give their failure values and raise nothing.
Check m.ShutDown() = True, "ShutDown"
On Error Resume Next
Err.Clear
r = u.USSD("*100#")
Check Err.Number = 0 And r = "", "USSD on a closed port: empty, no error (" & Err.Number & ")"
Err.Clear
r = u.Cancel()
Check Err.Number = 0 And r = False, "Cancel on a closed port: False, no error (" & Err.Number & ")"
Err.Clear
r = u.USSDListen(1)
Check Err.Number = 0 And r = False, "USSDListen on a closed port: False, no error (" & Err.Number & ")"
On Error GoTo 0
Check u.USSDNotification = "Bonus credited, 5.00 EUR", "and USSDNotification is left as it was"

WScript.Echo "ussd.vbs: " & passed & " passed, " & failed & " failed"
