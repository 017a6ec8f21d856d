' QuandelSTK6.SIMToolKit from VBScript: every member once in a toolkit session on the simulated
' SIM's menu (activate, main menu, a sub menu, input and its response, close), a selection that makes
' the SIM send a message, deactivation, and the four stored properties.

Const STKMainMenu = 0, STKResponse = 1, STKInputRequest = 3, STKSubMenu = 6, STKSMSSent = 9, STKUnknown = 100

Dim port, m, t, status
port = CInt(WScript.Arguments(0))
Set m = CreateObject("QuandelSTK6.Modem")
Set t = CreateObject("QuandelSTK6.SIMToolKit")
Check m.Init(port) = 1, "Init"
Check t.ActivateSTK() = True, "ActivateSTK"
status = t.STKStatusGet()
Check VarType(status) = vbLong And status = STKMainMenu, "STKStatusGet: the enumeration as a Long, STKMainMenu"
Check t.MainMenuDisplay() = True And t.MainMenuName = "SIM Services", "MainMenuDisplay: " & t.MainMenuName
Check t.MainMenuList = "1:Balance" & vbCrLf & "2:Services" & vbCrLf & "3:Send SMS" & vbCrLf & "4:Exit", _
    "MainMenuList: " & Replace(t.MainMenuList, vbCrLf, "|")
Check t.MainMenuSelect(2) = True And t.STKStatusGet() = STKSubMenu, "MainMenuSelect(2): STKSubMenu"
Check t.SubMenuDisplay() = True And t.SubMenuName = "Services", "SubMenuDisplay: " & t.SubMenuName
Check t.SubMenuList = "1:News" & vbCrLf & "2:Top up", "SubMenuList: " & Replace(t.SubMenuList, vbCrLf, "|")
Check t.SubMenuSelect(2) = True And t.STKStatusGet() = STKInputRequest, "SubMenuSelect(2): STKInputRequest"
Check t.InputRequestDisplay() = "Enter voucher code", "InputRequestDisplay: " & t.InputRequestDisplay()
Check t.InputSubmit("12345678") = True And t.STKStatusGet() = STKResponse, "InputSubmit: STKResponse"
Check t.ResponseDisplay() = "Voucher 12345678 accepted", "ResponseDisplay: " & t.ResponseDisplay()
Check t.CloseSTK() = True, "CloseSTK"
Check t.MainMenuSelect(3) = True And t.STKStatusGet() = STKSMSSent, "MainMenuSelect(3): STKSMSSent"
Check t.SMSSentDisplay() = "Sending SMS", "SMSSentDisplay"
Check t.CloseSTK() = True And t.DeactivateSTK() = True, "CloseSTK and DeactivateSTK"
Check t.STKStatusGet() = STKUnknown, "STKStatusGet with the toolkit off: STKUnknown"
t.MainMenuName = "mine"
t.MainMenuList = "1:a"
t.SubMenuName = "sub"
t.SubMenuList = "9:x"
Check t.MainMenuName & t.MainMenuList & t.SubMenuName & t.SubMenuList = "mine1:asub9:x", _
    "the four properties keep what the host put"
Check m.ShutDown() = True, "ShutDown"

WScript.Echo "stk.vbs: " & passed & " passed, " & failed & " failed"
