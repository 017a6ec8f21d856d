"""python_check.py DEVICE: the installed Python module as a script uses it, against the simulator
running the consumer's scenario (tests/packaging/consumer/scenario.json). Prints what it found."""
import sys

import quandelstk

print("module", quandelstk.__file__)
print("version", quandelstk.__version__)
modem = quandelstk.Modem()
status = modem.Init(sys.argv[1])
if status is not quandelstk.InitStatus.OK:
    sys.exit(f"init failed {status!r}")
print("signal", modem.SignalStrength())
sms = quandelstk.SMS()
# The stored UCS2 message, decoded through the installed code table.
print("message", sms.Msg if sms.ReadSMSText() else "none")
try:
    sms.Msg = "\u03a9"
except UnicodeEncodeError as error:
    print("refused", error.object[error.start])
try:
    sms.IsOnline("+15550100001", 40)
except quandelstk.RuntimeError as error:
    print("error", error.number)
modem.ShutDown()
