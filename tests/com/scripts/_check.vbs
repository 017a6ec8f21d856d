' Put in front of every script by run_wine_tests.sh: Check counts what passed and names what failed.
Option Explicit
Dim passed, failed
passed = 0
failed = 0
Sub Check(ok, what)
  If ok Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAIL " & what
  End If
End Sub
