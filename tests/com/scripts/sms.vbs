' QuandelSTK6.SMS from VBScript against the simulated modem: every member once. Messages to the
' SIM's own number read back in text and PDU mode (UCS2 text through the ANSI code page, a part of a
' long one with its Integer properties), SendSMS with its optional arguments omitted, ToMessage
' holding a number and an object, a delivery report, the call test with its wait omitted and with
' variables, and the port closing with the object.

' Wine's script host has no WScript.Sleep: a short busy pause between attempts.
Sub Pause(seconds)
  Dim start
  start = Timer
  Do While Timer < start + seconds And Timer >= start  ' Timer restarts at midnight
  Loop
End Sub

' The network hands a message back after a moment: read until it is there, a bounded number of times.
Function ReadWhenArrived(s, pdu)
  Dim attempt
  For attempt = 1 To 40
    If attempt > 1 Then Pause 0.2
    If pdu Then ReadWhenArrived = s.ReadSMSText() Else ReadWhenArrived = s.ReadSMS()
    If ReadWhenArrived Then Exit Function
  Next
End Function

' An object with a default value, as hosts store in ToMessage by reference.
Class Note
  Public Text
  Public Default Property Get Value
    Value = Text
  End Property
End Class

Const own = "+15550100999"
Dim port, m, s, s2, o, n, number, wait, reference, fetched
port = CInt(WScript.Arguments(0))
Set m = CreateObject("QuandelSTK6.Modem")
Set s = CreateObject("QuandelSTK6.SMS")
Check m.Init(port) = 1, "Init"

Check s.SendSMS(own, "Hello, world 123!") = True And Len(s.MR) > 0, "SendSMS in text mode, MR " & s.MR
Check ReadWhenArrived(s, False), "ReadSMS finds the message"
Check s.Msg = "Hello, world 123!" And s.MN = own And s.SMSC = "+15550100123", "Msg, MN, SMSC: " & s.Msg
Dim re
Set re = New RegExp
re.Pattern = "^\d\d/\d\d/\d\d \d\d:\d\d:\d\d$"
Check re.Test(s.SCTS), "SCTS " & s.SCTS
Check s.SendSMSText(own, "Hello in PDU") = True, "SendSMSText"
Check ReadWhenArrived(s, True) And s.Msg = "Hello in PDU", "ReadSMSText: " & s.Msg

' UCS2 there and back; the e acute travels through the ANSI code page.
Check s.SendSMSUnicode(own, "00480069002000E9") = True, "SendSMSUnicode"
Check ReadWhenArrived(s, True) And s.Msg = "Hi " & Chr(233), "UCS2 text read back: " & s.Msg
Check s.IsLMS = False, "a single message is no part of a long one"
Check s.SendLMSText(own, String(200, "x"), 77) = True, "SendLMSText"
Check ReadWhenArrived(s, True) And s.IsLMS = True, "a part of the long message"
Check s.LMS_Reference = 77 And s.LMS_Total = 2 And VarType(s.LMS_Sequence) = vbInteger, "its LMS properties"
Check ReadWhenArrived(s, True), "and the other part"

' SendSMS with both optional arguments omitted falls back to ToNumber and ToMessage, which holds
' what the host put: a number as a number, an object by reference with its value at sending time.
s.ToNumber = own
s.ToMessage = 42
Check VarType(s.ToMessage) = vbInteger And s.ToMessage = 42, "ToMessage keeps the Integer 42"
Check s.SendSMS() = True And ReadWhenArrived(s, False) And s.Msg = "42", "SendSMS() sent 42: " & s.Msg
Set o = New Note
o.Text = "first"
Set s.ToMessage = o
o.Text = "changed after it was stored"
Check s.ToMessage Is o, "ToMessage hands back the object itself"
Check s.SendSMS(own) = True And ReadWhenArrived(s, False), "SendSMS(number) with an object in ToMessage"
Check s.Msg = "changed after it was stored", "the object's value at sending time: " & s.Msg

Check s.DeliveryReportOn() = True, "DeliveryReportOn"
Check s.SendSMS("+15550100456", "report me") = True, "SendSMS with a report"
reference = Left(s.MR, InStr(s.MR & vbCr, vbCr) - 1)
fetched = False
For n = 1 To 40
  If n > 1 Then Pause 0.2
  ' Reports of the earlier messages that asked for one may come first; each is deleted when fetched.
  If s.GetDeliveryReport() Then fetched = s.DRMsgRef = reference
  If fetched Then Exit For
Next
Check fetched, "GetDeliveryReport fetches the report of message " & reference
Check s.DRStatus = 1 And s.DRMNRecipient = "+15550100456", "DRStatus Delivered (1), DRMNRecipient"
Check s.DeliveryReportOff() = True, "DeliveryReportOff"

' The call test with its optional wait omitted: sms.json lets +15550100456 ring only after 7 s, so
' only the declared default of 10 s finds it reachable (and one not filled in at all crashes).
' Then with variables, handed back.
number = "+15550100456"
Check s.IsOnline(number) = True, "IsOnline(number) without a wait: it rings within the default wait"
number = "+15550100001"
wait = 2
Check s.IsOnline(number, wait) = True And wait = 2 And number = "+15550100001", "IsOnline(number, wait) with variables"

' Stored values of the other kinds.
s.LMS_Total = 300
s.IsLMS = True
Check s.LMS_Total = 300 And s.IsLMS = True, "Integer and Boolean properties keep their values"

' Releasing an SMS object closes the port for every object of the thread.
Set s2 = CreateObject("QuandelSTK6.SMS")
Set s2 = Nothing
Check m.SignalStrength() = -1, "after an SMS object is released the port is closed"
Check m.Init(port) = 1 And m.SignalStrength() = 2, "Init opens it again"
Set s = Nothing
Check m.ShutDown() = False, "releasing the last SMS object closed the port too"

WScript.Echo "sms.vbs: " & passed & " passed, " & failed & " failed"
