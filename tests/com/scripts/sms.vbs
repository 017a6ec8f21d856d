' QuandelSTK6.SMS from VBScript against the simulated modem: messages sent to the SIM's own number
' and read back in text and PDU mode, a concatenated message with its properties, SendSMS with its
' optional arguments omitted, ToMessage holding a number and an object, a delivery report, the call
' test with its optional wait omitted, the properties, and the port closing with the object.

' Wine's script host has no WScript.Sleep: a short busy pause between attempts.
Sub Pause(seconds)
  Dim start
  start = Timer
  Do While Timer < start + seconds And Timer >= start  ' Timer restarts at midnight
  Loop
End Sub

Function Matches(text, pattern)
  Dim re
  Set re = New RegExp
  re.Pattern = "^" & pattern & "$"
  Matches = re.Test(text)
End Function

' The network hands a message back after a moment: read until it is there, a bounded number of times.
Function ReadWhenArrived(s, pdu)
  Dim attempt
  ReadWhenArrived = False
  For attempt = 1 To 40
    If attempt > 1 Then Pause 0.2
    If pdu Then
      ReadWhenArrived = s.ReadSMSText()
    Else
      ReadWhenArrived = s.ReadSMS()
    End If
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
Const centre = "+15550100123"
Dim port, m, s, s2, text, i, n, o, r, started, wait, number
port = CInt(WScript.Arguments(0))
Set m = CreateObject("QuandelSTK6.Modem")
Set s = CreateObject("QuandelSTK6.SMS")
Check m.Init(port) = 1, "Init"

' Text mode there and back.
Check s.SendSMS(own, "Hello, world 123!") = True, "SendSMS in text mode"
Check Len(s.MR) > 0, "MR is set: " & s.MR
Check ReadWhenArrived(s, False), "ReadSMS finds the message"
Check s.Msg = "Hello, world 123!", "ReadSMS: Msg " & s.Msg
Check s.MN = own, "ReadSMS: MN " & s.MN
Check s.SMSC = centre, "ReadSMS: SMSC " & s.SMSC
Check Matches(s.SCTS, "\d\d/\d\d/\d\d \d\d:\d\d:\d\d"), "ReadSMS: SCTS " & s.SCTS

' 7-bit PDU there, PDU mode back.
Check s.SendSMSText(own, "Hello in PDU") = True, "SendSMSText"
Check ReadWhenArrived(s, True), "ReadSMSText finds the message"
Check s.Msg = "Hello in PDU", "ReadSMSText: Msg " & s.Msg
Check s.MN = own, "ReadSMSText: MN"
Check Matches(s.SCTS, "\d\d-\d\d-\d\d,\d\d:\d\d:\d\d\+\d\d"), "ReadSMSText: SCTS " & s.SCTS
Check s.IsLMS = False, "a single message is no part of a long one"

' UCS2 there and back; the e acute travels through the ANSI code page.
Check s.SendSMSUnicode(own, "00480069002000E9") = True, "SendSMSUnicode"
Check ReadWhenArrived(s, True), "ReadSMSText finds the UCS2 message"
Check s.Msg = "Hi " & Chr(233), "UCS2 text read back: " & s.Msg  ' e acute in Windows-1252

' A long message in two parts with its concatenation properties.
text = ""
i = 0
Do While Len(text) < 200
  text = text & "part " & i & " "
  i = i + 1
Loop
text = Left(text, 200)
Check s.SendLMSText(own, text, 77) = True, "SendLMSText"
Dim seen1, seen2, joined1, joined2
seen1 = False
seen2 = False
For n = 1 To 2
  Check ReadWhenArrived(s, True), "ReadSMSText finds part " & n
  Check s.IsLMS = True, "IsLMS of part " & n
  Check s.LMS_Reference = 77, "LMS_Reference 77"
  Check s.LMS_Total = 2, "LMS_Total 2"
  Check VarType(s.LMS_Sequence) = vbInteger, "LMS_Sequence is an Integer"
  If s.LMS_Sequence = 1 Then
    seen1 = True
    joined1 = s.Msg
  ElseIf s.LMS_Sequence = 2 Then
    seen2 = True
    joined2 = s.Msg
  End If
Next
Check seen1 And seen2, "both sequence numbers read"
Check joined1 & joined2 = text, "the parts join to the text sent"

' SendSMS with both optional arguments omitted falls back to ToNumber and ToMessage.
s.ToNumber = own
s.ToMessage = "from the properties"
Check s.SendSMS() = True, "SendSMS() with its optional arguments omitted"
Check ReadWhenArrived(s, False), "read back"
Check s.Msg = "from the properties", "SendSMS() sent ToMessage: " & s.Msg

' ToMessage holding a number is sent as the host writes it.
s.ToMessage = 42
Check VarType(s.ToMessage) = vbInteger And s.ToMessage = 42, "ToMessage keeps the Integer 42"
Check s.SendSMS(own) = True, "SendSMS(number) with the message omitted"
Check ReadWhenArrived(s, False), "read back"
Check s.Msg = "42", "the number was sent as 42: " & s.Msg

' ToMessage holding an object by reference: its value when sent, not when stored.
Set o = New Note
o.Text = "first"
Set s.ToMessage = o
o.Text = "changed after it was stored"
Check s.ToMessage Is o, "ToMessage hands back the object itself"
Check s.SendSMS() = True, "SendSMS() with an object in ToMessage"
Check ReadWhenArrived(s, False), "read back"
Check s.Msg = "changed after it was stored", "the object's value at sending time: " & s.Msg

' A delivery report for a message to another number.
Check s.DeliveryReportOn() = True, "DeliveryReportOn"
Check s.SendSMS("+15550100456", "report me") = True, "SendSMS with a report"
Dim reference, fetched
reference = Left(s.MR, InStr(s.MR & vbCr, vbCr) - 1)
fetched = False
For n = 1 To 40
  If n > 1 Then Pause 0.2
  ' Reports of the earlier messages that asked for one may come first; each is deleted when fetched.
  If s.GetDeliveryReport() Then
    If s.DRMsgRef = reference Then
      fetched = True
      Exit For
    End If
  End If
Next
Check fetched, "GetDeliveryReport fetches the report of message " & reference
Check s.DRMsgRef = reference, "DRMsgRef " & s.DRMsgRef & " is the MR " & reference
Check s.DRMNRecipient = "+15550100456", "DRMNRecipient " & s.DRMNRecipient
Check s.DRStatus = 1, "DRStatus Delivered (1)"
Check Len(s.DRRDate) > 0 And Len(s.DRFDate) > 0, "DRRDate and DRFDate set"
Check s.DeliveryReportOff() = True, "DeliveryReportOff"

' The call test with its optional wait omitted waits 10 seconds; a variable as wait is used.
started = Timer
number = "+15550100456"
r = s.IsOnline(number)
Check r = True, "IsOnline(number) without a wait: the number answers"
Check Timer - started >= 10 And Timer - started < 16, "IsOnline waited its default 10 seconds (" & _
    Round(Timer - started, 1) & " s)"
wait = 4
started = Timer
Check s.IsOnline(number, wait) = True, "IsOnline(number, wait) with variables"
Check wait = 4 And number = "+15550100456", "IsOnline hands its variables back"
Check Timer - started >= 4 And Timer - started < 9, "IsOnline waited the 4 seconds of the variable"

' Properties are stored values.
s.IDD = "00"
s.MN = "+15550100777"
s.LMS_Total = 300
s.IsLMS = True
Check s.IDD = "00" And s.MN = "+15550100777", "text properties keep their values"
Check s.LMS_Total = 300 And s.IsLMS = True, "Integer and Boolean properties keep their values"

' Releasing an SMS object closes the port for every object of the thread.
Set s2 = CreateObject("QuandelSTK6.SMS")
Set s2 = Nothing
Check m.SignalStrength() = -1, "after an SMS object is released the port is closed"
Check m.Init(port) = 1, "Init opens it again"
Check m.SignalStrength() = 2, "and the modem answers"
Set s = Nothing
Check m.ShutDown() = False, "releasing the last SMS object closed the port too"

WScript.Echo "sms.vbs: " & passed & " passed, " & failed & " failed"
