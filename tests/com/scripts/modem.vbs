' QuandelSTK6.Modem from VBScript on a SIM that wants its PIN, every answer in pieces of 3 bytes
' (modem.json): Init with its optional PIN omitted, wrong and right, every query with the types
' hosts receive, the port search with script variables passed by reference, and the port's life
' across Modem objects.

Dim port, m, a, b
port = CInt(WScript.Arguments(0))
Set m = CreateObject("QuandelSTK6.Modem")
Check m.Init(port) = 2, "Init without a PIN on a SIM that wants one: PINRequired (2)"
Check m.Init(port, "1111") = 3, "Init with a wrong PIN: PINWrong (3)"
Check m.Init(port, "0000") = 1, "Init with the right PIN: OK (1)"
Check VarType(m.SignalStrength()) = vbInteger And m.SignalStrength() = 2, "SignalStrength: the Integer 2"
Check m.OperatorName() = "Quandel Mobile", "OperatorName"
Check VarType(m.IsConnectToGSM()) = vbBoolean And m.IsConnectToGSM() = True, "IsConnectToGSM: the Boolean True"
Check m.GetIMSI() = "001010123456789", "GetIMSI"
Check m.GetMSISDN() = "+15550100999", "GetMSISDN"
Check m.Reboot() = True, "Reboot"
' Releasing the Modem leaves the port open for the thread's other objects.
Set m = Nothing
Set m = CreateObject("QuandelSTK6.Modem")
Check m.SignalStrength() = 2, "a new Modem object shares the thread's open port"
Check m.ShutDown() = True, "ShutDown"
Check m.ShutDown() = False, "ShutDown again: the port is already closed"

' Variables reach the by-reference Integer parameters and come back unchanged.
a = port
b = port
Check m.FindCOMPort(a, b) = port And a = port And b = port, "FindCOMPort(a, b) with script variables"
Check m.FindCOMPort(port, port) = port, "FindCOMPort with plain values"

WScript.Echo "modem.vbs: " & passed & " passed, " & failed & " failed"
