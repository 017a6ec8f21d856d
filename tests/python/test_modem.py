"""Modem through the binding: port numbers and keywords, enumerations, by-reference tuples, errors."""
import pytest

import quandelstk
from conftest import FAST, in_thread

Status = quandelstk.InitStatus


def test_init_by_port_number_with_its_pin_then_the_queries(start_sim):
    # This runs on a thread of its own: its session (port) is its own, not the other files' one.
    quandelstk.assign_port(301, start_sim({**FAST, "sim": {"state": "SIM PIN", "pin": "0000"}}).path)
    in_thread(init_and_query)


def init_and_query():
    modem = quandelstk.Modem()
    assert modem.Init(301) is Status.PINRequired
    assert modem.ShutDown() is False  # any status but OK leaves the port closed
    assert modem.Init(301, PIN="1111") is Status.PINWrong
    assert modem.Init(intPort=301, PIN="0000") is Status.OK
    assert modem.SignalStrength() in (0, 1, 2, 3)
    assert (modem.OperatorName(), modem.GetIMSI()) == ("Quandel Mobile", "001010123456789")
    assert modem.IsConnectToGSM() is True
    assert modem.ShutDown() is True
    with pytest.raises(quandelstk.RuntimeError) as caught:
        modem.Reboot()  # no trap: the closed port reaches the caller
    assert caught.value.number == 8012


def test_find_com_port_returns_its_by_reference_parameters(start_sim):
    quandelstk.assign_port(311, "/dev/qstk-no-such-tty")
    quandelstk.assign_port(312, start_sim().path)
    assert in_thread(quandelstk.Modem().FindCOMPort, 311, 312) == (312, 311, 312)
