' QuandelSTK6.Phonebook from VBScript on a SIM phonebook of 180 locations holding entries 1 and 7
' (phonebook.json): size and use, reading, writing and deleting, the two properties, refusals as
' False, and a closed port.

Dim port, m, b, r
port = CInt(WScript.Arguments(0))
Set m = CreateObject("QuandelSTK6.Modem")
Set b = CreateObject("QuandelSTK6.Phonebook")
Check b.PhonebookNumber = "" And b.PhonebookName = "", "both properties are empty at first"
Check m.Init(port) = 1, "Init"

Check VarType(b.TotalSpace()) = vbInteger, "TotalSpace is an Integer"
Check b.TotalSpace() = 180, "TotalSpace: " & b.TotalSpace()
Check b.TotalUsed() = 2, "TotalUsed: " & b.TotalUsed()

' Reading: quotes gone, a comma inside the name kept.
Check b.PhonebookRead(1) = True, "PhonebookRead(1)"
Check b.PhonebookNumber = "+15550100456", "PhonebookNumber: " & b.PhonebookNumber
Check b.PhonebookName = "Ann Lee", "PhonebookName: " & b.PhonebookName
Check b.PhonebookRead(7) = True, "PhonebookRead(7)"
Check b.PhonebookNumber = "5550100" And b.PhonebookName = "Smith, John", "entry 7: " & b.PhonebookName
Check b.PhonebookRead(3) = False, "PhonebookRead of an empty location: False"
Check b.PhonebookNumber = "5550100" And b.PhonebookName = "Smith, John", "and both properties stay"

' Writing, reading back, deleting.
Check b.PhonebookWrite(3, "+15550100777", "Bob Stone") = True, "PhonebookWrite(3, ...)"
Check b.TotalUsed() = 3, "TotalUsed after the write: " & b.TotalUsed()
Check b.PhonebookRead(3) = True, "PhonebookRead(3) after the write"
Check b.PhonebookNumber = "+15550100777" And b.PhonebookName = "Bob Stone", "entry 3 as written: " & _
    b.PhonebookNumber & " " & b.PhonebookName
Check b.PhonebookWrite(3, "5550123", "") = True, "PhonebookWrite replaces, with an empty name"
Check b.PhonebookRead(3) = True And b.PhonebookNumber = "5550123" And b.PhonebookName = "", "entry 3 replaced"
Check b.PhonebookDelete(3) = True, "PhonebookDelete(3)"
Check b.TotalUsed() = 2, "TotalUsed after the delete"
Check b.PhonebookRead(3) = False, "the deleted location reads as empty"

' What the SIM refuses comes back as False (no run-time error).
Check b.PhonebookWrite(4, "+15550100888", "A name much too long for it") = False, "a name too long: False"
Check b.PhonebookRead(4) = False, "and nothing was written"
Check b.PhonebookRead(181) = False, "PhonebookRead beyond the last location: False"
Check b.PhonebookDelete(0) = False, "PhonebookDelete(0): False"

' The properties are stored values; writing them changes nothing on the SIM.
b.PhonebookNumber = "+1000"
b.PhonebookName = "not on the SIM"
Check b.PhonebookNumber = "+1000" And b.PhonebookName = "not on the SIM", "the properties keep what the host put"
Check b.PhonebookRead(1) = True And b.PhonebookName = "Ann Lee", "entry 1 is unchanged on the SIM"

' A closed port: the storage selection fails, nothing is sent, the failure values come back.
Check m.ShutDown() = True, "ShutDown"
Check b.TotalSpace() = -1 And b.TotalUsed() = -1, "TotalSpace and TotalUsed on a closed port: -1"
Check b.PhonebookRead(1) = False And b.PhonebookWrite(2, "1", "x") = False And b.PhonebookDelete(1) = False, _
    "read, write and delete on a closed port: False"

WScript.Echo "phonebook.vbs: " & passed & " passed, " & failed & " failed"
