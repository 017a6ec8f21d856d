' QuandelSTK6.Phonebook from VBScript on a SIM phonebook of 180 locations holding entries 1 and 7
' (phonebook.json): every member once, with the types hosts receive.

Dim port, m, b
port = CInt(WScript.Arguments(0))
Set m = CreateObject("QuandelSTK6.Modem")
Set b = CreateObject("QuandelSTK6.Phonebook")
Check m.Init(port) = 1, "Init"
Check VarType(b.TotalSpace()) = vbInteger And b.TotalSpace() = 180, "TotalSpace: the Integer 180"
Check b.TotalUsed() = 2, "TotalUsed: " & b.TotalUsed()
Check b.PhonebookRead(7) = True, "PhonebookRead(7)"
Check b.PhonebookNumber = "5550100" And b.PhonebookName = "Smith, John", "entry 7: " & b.PhonebookName
Check b.PhonebookWrite(3, "+15550100777", "Bob Stone") = True, "PhonebookWrite(3, ...)"
Check b.PhonebookRead(3) = True And b.PhonebookNumber = "+15550100777" And b.PhonebookName = "Bob Stone", _
    "entry 3 as written: " & b.PhonebookNumber & " " & b.PhonebookName
Check b.PhonebookDelete(3) = True And b.PhonebookRead(3) = False, "PhonebookDelete(3), then it reads as empty"
b.PhonebookNumber = "+1000"
b.PhonebookName = "not on the SIM"
Check b.PhonebookNumber = "+1000" And b.PhonebookName = "not on the SIM", "the properties keep what the host put"
Check m.ShutDown() = True, "ShutDown"

WScript.Echo "phonebook.vbs: " & passed & " passed, " & failed & " failed"
