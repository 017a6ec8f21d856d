' Run-time errors reach VBScript as Err.Number with the library's description and the class as
' source (from Modem, SMS and Phonebook); methods with a trap give their failure value instead.

Dim port, m, s, x
port = CInt(WScript.Arguments(0))
Set m = CreateObject("QuandelSTK6.Modem")
Set s = CreateObject("QuandelSTK6.SMS")
Check m.Init(port) = 1, "Init"

On Error Resume Next
' This SIM stores no own number: GetMSISDN has no trap, and the missing field is error 9.
Err.Clear
x = m.GetMSISDN()
Check Err.Number = 9, "GetMSISDN without an own number: Err.Number 9 (got " & Err.Number & ")"
Check InStr(Err.Description, "Subscript out of range") = 1, "with its description: " & Err.Description
Check Err.Source = "QuandelSTK6.Modem", "and the class as source: " & Err.Source

' A delivery status that was never stored is a type mismatch (13).
Err.Clear
x = s.DRStatus
Check Err.Number = 13, "DRStatus before any report: Err.Number 13 (got " & Err.Number & ")"
Check Err.Source = "QuandelSTK6.SMS", "source QuandelSTK6.SMS"
Err.Clear
s.DRStatus = 1
x = s.DRStatus
Check Err.Number = 0 And x = 1, "DRStatus after it was stored: 1"

' The Phonebook methods let run-time errors through (errors.json gives the answers): a count beyond
' 16 bits is an overflow (6), a "+CPBR:" line without its commas an invalid procedure call (5).
Dim b
Set b = CreateObject("QuandelSTK6.Phonebook")
Err.Clear
x = b.TotalUsed()
Check Err.Number = 0 And x = 3, "TotalUsed of ""SM"",3,70000: 3 (got " & x & ", error " & Err.Number & ")"
Err.Clear
x = b.TotalSpace()
Check Err.Number = 6, "TotalSpace of 70000 locations: Err.Number 6 (got " & Err.Number & ")"
Check InStr(Err.Description, "Overflow") = 1, "described as: " & Err.Description
Check Err.Source = "QuandelSTK6.Phonebook", "source QuandelSTK6.Phonebook: " & Err.Source
b.PhonebookName = "kept"
Err.Clear
x = b.PhonebookRead(9)
Check Err.Number = 5, "PhonebookRead of a line without commas: Err.Number 5 (got " & Err.Number & ")"
Check InStr(Err.Description, "Invalid procedure call") = 1, "described as: " & Err.Description
Check b.PhonebookName = "kept", "and PhonebookName is left as it was"
Err.Clear
x = b.TotalSpace()
Check Err.Number = 6, "the object still works after an error: the same error again"

' The port closed: methods without a trap raise the serial control's 8012.
Check m.ShutDown() = True, "ShutDown"
Err.Clear
x = m.Reboot()
Check Err.Number = 8012, "Reboot on a closed port: Err.Number 8012 (got " & Err.Number & ")"
Check InStr(Err.Description, "Port not open") = 1, "described as: " & Err.Description
Err.Clear
x = m.GetIMSI()
Check Err.Number = 8012, "GetIMSI on a closed port: Err.Number 8012"
' Methods with a trap return their failure value and raise nothing.
Err.Clear
x = m.SignalStrength()
Check Err.Number = 0 And x = -1, "SignalStrength on a closed port: -1 and no error"
Err.Clear
x = s.ReadSMS()
Check Err.Number = 0 And x = False, "ReadSMS on a closed port: False and no error"

' A port that does not exist is Fail for Init (trapped).
Err.Clear
Check m.Init(port + 40) = 0, "Init on a port that does not exist: Fail (0)"
Check Err.Number = 0, "and no error"

' An argument of the wrong type is the host's type mismatch, before the library runs.
Err.Clear
x = m.Init("not a number")
Check Err.Number = 13, "Init with a text for the port: type mismatch (got " & Err.Number & ")"
Err.Clear
x = m.NoSuchMember()
Check Err.Number = 438, "an unknown member: 438 (got " & Err.Number & ")"

' A required argument left out is the host's "Wrong number of arguments" (450), and nothing runs:
' the port is closed, so a call that ran would raise 8012 or return its failure value.
Dim call_name, calls
calls = Array("SendSMSText", "SendSMSUnicode", "SendLMSText", "Init", "PhonebookWrite")
For Each call_name In calls
  Err.Clear
  Select Case call_name
    Case "SendSMSText": x = s.SendSMSText("1")
    Case "SendSMSUnicode": x = s.SendSMSUnicode("1")
    Case "SendLMSText": x = s.SendLMSText("1", "b")
    Case "Init": x = m.Init()
    Case "PhonebookWrite": x = b.PhonebookWrite(1, "2")
  End Select
  Check Err.Number = 450, call_name & " short of a required argument: 450 (got " & Err.Number & " " & _
      Err.Description & ")"
Next
' A required argument given as omitted is "Argument not optional" (449).
Err.Clear
x = s.SendSMSText(, "b")
Check Err.Number = 449, "SendSMSText(, ""b""): 449 (got " & Err.Number & " " & Err.Description & ")"

' IsOnline on a closed port is False whatever the wait, even one it could not wait.
Dim wait
For Each wait In Array(0, 33, 40, -1)
  Err.Clear
  x = s.IsOnline("123", CInt(wait))
  Check Err.Number = 0 And x = False, "IsOnline(""123"", " & wait & ") on a closed port: False and no error (got " & _
      Err.Number & ")"
Next
On Error GoTo 0

WScript.Echo "errors.vbs: " & passed & " passed, " & failed & " failed"
