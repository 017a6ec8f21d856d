' QuandelSTK6.Modem from VBScript: Init without a PIN, the queries, restart and shut-down, the
' port search with script variables passed by reference, and the types hosts receive.

Dim port, m, a, b
port = CInt(WScript.Arguments(0))
Set m = CreateObject("QuandelSTK6.Modem")

Check m.Init(port) = 1, "Init without its optional PIN: OK (1)"
Check VarType(m.SignalStrength()) = vbInteger, "SignalStrength is a 16-bit Integer"
Check m.SignalStrength() = 2, "SignalStrength of a signal of 15: 2"
Check m.OperatorName() = "Quandel Mobile", "OperatorName"
Check m.IsConnectToGSM() = True, "IsConnectToGSM"
Check VarType(m.IsConnectToGSM()) = vbBoolean, "IsConnectToGSM is a Boolean"
Check m.GetIMSI() = "001010123456789", "GetIMSI"
Check m.GetMSISDN() = "+15550100999", "GetMSISDN"
Check m.Reboot() = True, "Reboot"
Check m.ShutDown() = True, "ShutDown"
Check m.ShutDown() = False, "ShutDown again: the port is already closed"
Check m.SignalStrength() = -1, "SignalStrength on a closed port: -1"
Check m.OperatorName() = "", "OperatorName on a closed port: empty"

' Variables reach the by-reference Integer parameters and come back unchanged.
a = port
b = port
Check m.FindCOMPort(a, b) = port, "FindCOMPort(a, b) with script variables finds the modem"
Check a = port And b = port, "FindCOMPort hands a and b back"
Check m.FindCOMPort(port, port) = port, "FindCOMPort with plain values"
Check m.ShutDown() = False, "FindCOMPort left the port closed"

Check m.Init(port, "") = 1, "Init with an empty PIN"
Check m.GetIMSI() = "001010123456789", "queries work after a new Init"
' Releasing the Modem leaves the port open for the thread's other objects.
Set m = Nothing
Set m = CreateObject("QuandelSTK6.Modem")
Check m.SignalStrength() = 2, "a new Modem object shares the thread's open port"
Check m.ShutDown() = True, "ShutDown at the end"

WScript.Echo "modem.vbs: " & passed & " passed, " & failed & " failed"
