' Init and the SIM PIN from VBScript: the optional PIN omitted, wrong and right.

Dim port, m
port = CInt(WScript.Arguments(0))
Set m = CreateObject("QuandelSTK6.Modem")
Check m.Init(port) = 2, "Init without a PIN on a SIM that wants one: PINRequired (2)"
Check m.ShutDown() = False, "a failed Init leaves the port closed"
Check m.Init(port, "1111") = 3, "Init with a wrong PIN: PINWrong (3)"
Check m.Init(port, "0000") = 1, "Init with the right PIN: OK (1)"
Check m.GetIMSI() = "001010123456789", "the SIM answers after its PIN"
Check m.ShutDown() = True, "ShutDown"
WScript.Echo "pin.vbs: " & passed & " passed, " & failed & " failed"
