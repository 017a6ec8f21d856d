' QuandelSTK6.SIMToolKit from VBScript: one whole toolkit session on the simulated SIM's menu
' (activate, main menu, a selection opening a sub menu, a selection asking for input, submit, the
' response, its confirmation, close), a selection that makes the SIM send a message, deactivation
' with the message settings restored, the properties, and trapped failures on a closed port.

' The STKStatus values
Const STKMainMenu = 0, STKResponse = 1, STKInputRequest = 3, STKSubMenu = 6, STKSMSSent = 9
Const STKSessionEnd = 99, STKUnknown = 100

Function Shown(text)
  Shown = Replace(text, vbCrLf, "|")
End Function

Dim port, m, t, s, status
port = CInt(WScript.Arguments(0))
Set m = CreateObject("QuandelSTK6.Modem")
Set t = CreateObject("QuandelSTK6.SIMToolKit")
Check t.MainMenuName = "" And t.MainMenuList = "" And t.SubMenuName = "" And t.SubMenuList = "", _
    "the four menu properties are empty at first"
Check m.Init(port) = 1, "Init"

' Activate and show the main menu.
Check t.ActivateSTK() = True, "ActivateSTK"
status = t.STKStatusGet()
Check VarType(status) = vbLong, "STKStatusGet gives the enumeration as a Long"
Check status = STKMainMenu, "STKStatusGet after activation: STKMainMenu (" & status & ")"
Check t.MainMenuDisplay() = True, "MainMenuDisplay"
Check t.MainMenuName = "SIM Services", "MainMenuName: " & t.MainMenuName
Check t.MainMenuList = "1:Balance" & vbCrLf & "2:Services" & vbCrLf & "3:Send SMS" & vbCrLf & "4:Exit", _
    "MainMenuList: " & Shown(t.MainMenuList)

' Item 2 opens a sub menu.
Check t.MainMenuSelect(2) = True, "MainMenuSelect(2)"
Check t.STKStatusGet() = STKSubMenu, "STKStatusGet: STKSubMenu"
Check t.SubMenuDisplay() = True, "SubMenuDisplay"
Check t.SubMenuName = "Services", "SubMenuName: " & t.SubMenuName
Check t.SubMenuList = "1:News" & vbCrLf & "2:Top up", "SubMenuList: " & Shown(t.SubMenuList)
Check t.MainMenuName = "SIM Services", "the main menu's properties stay"

' Its item 2 asks for input; the answer comes back in the response.
Check t.SubMenuSelect(2) = True, "SubMenuSelect(2)"
Check t.STKStatusGet() = STKInputRequest, "STKStatusGet: STKInputRequest"
Check t.InputRequestDisplay() = "Enter voucher code", "InputRequestDisplay: " & t.InputRequestDisplay()
Check t.InputSubmit("12345678") = True, "InputSubmit(""12345678"")"
Check t.STKStatusGet() = STKResponse, "STKStatusGet: STKResponse"
Check t.ResponseDisplay() = "Voucher 12345678 accepted", "ResponseDisplay: " & t.ResponseDisplay()
Check t.InputSubmit("ok") = True, "InputSubmit(""ok"") confirms the displayed text"
Check t.STKStatusGet() = STKSessionEnd, "STKStatusGet: STKSessionEnd"
Check t.CloseSTK() = True, "CloseSTK"

' Item 3 makes the SIM send a short message; the notice is shown once.
Check t.MainMenuSelect(3) = True, "MainMenuSelect(3)"
Check t.STKStatusGet() = STKSMSSent, "STKStatusGet: STKSMSSent"
Check t.SMSSentDisplay() = "Sending SMS", "SMSSentDisplay"
Check t.CloseSTK() = True, "CloseSTK"

' An item the SIM does not have: refused three times, False.
Check t.MainMenuSelect(9) = False, "MainMenuSelect(9), no such item: False"

' Off again, with the message settings put back for the SMS class.
Check t.DeactivateSTK() = True, "DeactivateSTK"
Check t.STKStatusGet() = STKUnknown, "STKStatusGet with the toolkit off: STKUnknown"
Set s = CreateObject("QuandelSTK6.SMS")
Check s.SendSMS("+15550100456", "after the toolkit") = True, "a text-mode message goes out after DeactivateSTK"

' The properties are stored values.
t.MainMenuName = "mine"
t.SubMenuList = "9:x"
Check t.MainMenuName = "mine" And t.SubMenuList = "9:x", "the properties keep what the host put"

' Every SIMToolKit method traps: a closed port gives the failure values and no error.
Check m.ShutDown() = True, "ShutDown"
On Error Resume Next
Err.Clear
status = t.STKStatusGet()
Check Err.Number = 0 And status = STKUnknown, "STKStatusGet on a closed port: STKUnknown, no error (" & _
    Err.Number & ")"
Err.Clear
Check t.ActivateSTK() = False And Err.Number = 0, "ActivateSTK on a closed port: False, no error"
Err.Clear
Check t.InputRequestDisplay() = "" And Err.Number = 0, "InputRequestDisplay on a closed port: empty, no error"
Err.Clear
Check t.SubMenuDisplay() = False And Err.Number = 0, "SubMenuDisplay on a closed port: False, no error"
On Error GoTo 0
Check t.SubMenuList = "9:x", "a failed SubMenuDisplay leaves SubMenuList"

WScript.Echo "stk.vbs: " & passed & " passed, " & failed & " failed"
