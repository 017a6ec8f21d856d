"""Modem against the simulated modem: Init and the SIM's PIN states, the queries, run-time errors."""
import pytest

import quandelstk
from conftest import connection, in_thread

Status = quandelstk.InitStatus


@pytest.fixture(scope="module")
def connected(tmp_path_factory):
    # A SIM without an own number: GetMSISDN raises error 9 (the threads' test reads one).
    with connection(tmp_path_factory.mktemp("sim"), {"sim": {"msisdn": ""}}) as c:
        yield c


def test_the_queries(connected):
    modem = connected.modem
    assert modem.SignalStrength() in (0, 1, 2, 3)
    assert modem.OperatorName() == "Quandel Mobile"
    assert modem.IsConnectToGSM() is True
    assert modem.GetIMSI() == "001010123456789"
    assert modem.Reboot() is True


def test_a_run_time_error_comes_with_its_number(connected):
    with pytest.raises(quandelstk.RuntimeError) as caught:
        connected.modem.GetMSISDN()  # the SIM stores no own number
    assert caught.value.number == 9
    assert caught.value.description.startswith("Subscript out of range")
    assert isinstance(caught.value, RuntimeError)


# This thread's port is the shared connection's: the tests that open another run on threads of their
# own, each with a session (a port) of its own.


def test_init_by_assigned_port_number_and_pin_states(start_sim):
    sim = start_sim({"sim": {"state": "SIM PIN", "pin": "0000"}})
    quandelstk.assign_port(301, sim.path)
    in_thread(init_by_number_and_pin)


def init_by_number_and_pin():
    modem = quandelstk.Modem()
    assert modem.Init(301) is Status.PINRequired
    assert modem.ShutDown() is False  # any status but OK leaves the port closed
    assert modem.Init(301, PIN="1111") is Status.PINWrong
    assert modem.Init(intPort=301, PIN="0000") is Status.OK
    assert modem.ShutDown() is True
    with pytest.raises(quandelstk.RuntimeError) as caught:
        modem.Reboot()  # the port is closed now
    assert caught.value.number == 8012


@pytest.mark.parametrize("sim_state, expected", [("SIM PUK", Status.SIMBlocked), ("absent", Status.SIMError)])
def test_init_reports_a_sim_it_cannot_use(start_sim, sim_state, expected):
    sim = start_sim({"sim": {"state": sim_state}})
    assert in_thread(quandelstk.Modem().Init, sim.path, "0000") is expected


def test_init_of_a_port_without_a_device_fails():
    assert in_thread(quandelstk.Modem().Init, "/dev/qstk-no-such-tty") is Status.Fail


def test_find_com_port_returns_its_by_reference_parameters(start_sim):
    sim = start_sim()
    quandelstk.assign_port(311, "/dev/qstk-no-such-tty")
    quandelstk.assign_port(312, sim.path)
    assert in_thread(quandelstk.Modem().FindCOMPort, 311, 312) == (312, 311, 312)
