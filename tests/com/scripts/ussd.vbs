' QuandelSTK6.USSD from VBScript: a code and a menu dialogue, USSDListen with an explicit timeout
' and with it omitted, Cancel, and USSDNotification. The simulator sends "+CUSD: 0" with a text
' 2.5 s after the first AT+CUSD=2 (ussd.json): an omitted timeout (3 s) hears it, 0 to 2 would not.

Dim port, m, u, r
port = CInt(WScript.Arguments(0))
Set m = CreateObject("QuandelSTK6.Modem")
Set u = CreateObject("QuandelSTK6.USSD")
Check m.Init(port) = 1, "Init"
r = u.USSD("*101#")
Check VarType(r) = vbString And r = "1 Balance" & vbLf & "2 Bundles", "USSD(""*101#"") opens the menu: " & _
    Replace(r, vbLf, "|")
u.USSDNotification = "stored by the host"
Check u.USSDListen(1) = False, "USSDListen(1) with nothing arriving: False"
Check u.USSDNotification = "stored by the host", "a listen that heard nothing leaves USSDNotification"
Check u.Cancel() = True, "Cancel"
Check u.USSDListen() = True, "USSDListen() hears the network's notification within its default wait"
Check u.USSDNotification = "Bonus credited, 5.00 EUR", "USSDNotification: " & u.USSDNotification
Check m.ShutDown() = True, "ShutDown"

WScript.Echo "ussd.vbs: " & passed & " passed, " & failed & " failed"
