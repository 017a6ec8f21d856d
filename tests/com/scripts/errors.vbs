' Run-time errors reach VBScript as Err.Number with the library's description and the class as
' source; the host's own errors (438, 449, 450, 13) come before anything runs. errors.json gives a
' SIM without an own number and phonebook answers a 16-bit count cannot hold.

' Checks the error raised last, then clears it.
Sub Expect(number, description, source, what)
  Check Err.Number = number, what & ": Err.Number " & number & " (got " & Err.Number & " " & Err.Description & ")"
  If description <> "" Then Check InStr(Err.Description, description) = 1, what & " described as: " & Err.Description
  If source <> "" Then Check Err.Source = source, what & " from " & source & ": " & Err.Source
  Err.Clear
End Sub

Dim port, m, s, b, x, call_name
port = CInt(WScript.Arguments(0))
Set m = CreateObject("QuandelSTK6.Modem")
Set s = CreateObject("QuandelSTK6.SMS")
Set b = CreateObject("QuandelSTK6.Phonebook")
Check m.Init(port) = 1, "Init"

On Error Resume Next
Err.Clear
x = m.GetMSISDN()
Expect 9, "Subscript out of range", "QuandelSTK6.Modem", "GetMSISDN without an own number"
x = s.DRStatus
Expect 13, "Type mismatch", "QuandelSTK6.SMS", "DRStatus before any report"
x = b.TotalSpace()
Expect 6, "Overflow", "QuandelSTK6.Phonebook", "TotalSpace of 70000 locations"
x = b.TotalUsed()
Check Err.Number = 0 And x = 3, "the object still works after an error: TotalUsed 3 (got " & x & ")"

' The port closed: a method without a trap raises the serial control's 8012.
Check m.ShutDown() = True, "ShutDown"
Err.Clear
x = m.Reboot()
Expect 8012, "Port not open", "", "Reboot on a closed port"
' A port that does not exist is Fail for Init (trapped, and logged).
Check m.Init(port + 40) = 0 And Err.Number = 0, "Init on a port that does not exist: Fail (0), no error"

' What the host refuses before the library runs: an argument of the wrong type, an unknown member,
' a required argument left out (450; the port is closed, so a call that ran would raise 8012 or
' return its failure value) or given as omitted (449).
x = m.Init("not a number")
Expect 13, "", "", "Init with a text for the port"
x = m.NoSuchMember()
Expect 438, "", "", "an unknown member"
For Each call_name In Array("SendSMSText", "SendSMSUnicode", "SendLMSText", "Init", "PhonebookWrite")
  Select Case call_name
    Case "SendSMSText": x = s.SendSMSText("1")
    Case "SendSMSUnicode": x = s.SendSMSUnicode("1")
    Case "SendLMSText": x = s.SendLMSText("1", "b")
    Case "Init": x = m.Init()
    Case "PhonebookWrite": x = b.PhonebookWrite(1, "2")
  End Select
  Expect 450, "", "", call_name & " short of a required argument"
Next
x = s.SendSMSText(, "b")
Expect 449, "", "", "SendSMSText(, ""b"")"
On Error GoTo 0

WScript.Echo "errors.vbs: " & passed & " passed, " & failed & " failed"
