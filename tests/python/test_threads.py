"""Threads: each Python thread has its own session (its own port), and the GIL is released while
the library waits on the modem."""
import gc
import threading
import time

import pytest

import quandelstk
from conftest import FAST, Simulator, connection, wait_for


def drive(sim_path, operator, own, rounds, results, name):
    """One thread's work on its own modem: everything it reads must be its own modem's."""
    try:
        modem = quandelstk.Modem()
        assert modem.Init(sim_path) is quandelstk.InitStatus.OK
        sms = quandelstk.SMS()
        for i in range(rounds):
            assert modem.OperatorName() == operator
            assert modem.GetMSISDN() == own
            text = f"{name} round {i}"
            assert sms.SendSMSText(own, text)
            assert wait_for(sms.ReadSMSText)
            assert (sms.MN, sms.Msg) == (own, text)
        assert modem.ShutDown()  # this thread's port only
        results[name] = "ok"
    except BaseException as error:  # reported by the main thread
        results[name] = error


def test_two_threads_drive_their_own_modems_at_once_without_cross_talk(start_sim):
    a = start_sim({**FAST, "network": {"operator": "Alpha Net"}, "sim": {"msisdn": "+15550100111"}})
    b = start_sim({**FAST, "network": {"operator": "Beta Net"}, "sim": {"msisdn": "+15550100222"}})
    results = {}
    threads = [
        threading.Thread(target=drive, args=(a.path, "Alpha Net", "+15550100111", 3, results, "A")),
        threading.Thread(target=drive, args=(b.path, "Beta Net", "+15550100222", 3, results, "B")),
    ]
    started = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join(60)
    assert results == {"A": "ok", "B": "ok"}
    # Each thread's work takes about 5 s (its Init alone waits 3 s): one after the other would
    # take 10 s.
    assert time.monotonic() - started < 8


@pytest.fixture(scope="module")
def mine(tmp_path_factory):
    """This thread's own modem."""
    with connection(tmp_path_factory.mktemp("sim")) as c:
        yield c


def test_the_gil_is_released_and_the_threads_ports_are_their_own(mine, tmp_path):
    # This thread keeps its modem open while a worker initialises another (Init waits three times
    # a second for the modem), reads its signal 800 ms late and shuts its port. Meanwhile this
    # thread must keep running, and its port stay open.
    other = Simulator(tmp_path, {"delays": {"AT+CSQ": 800}})
    done = threading.Event()
    failure = []

    def worker():
        try:
            modem = quandelstk.Modem()
            assert modem.Init(other.path) is quandelstk.InitStatus.OK
            modem.SignalStrength()
            assert modem.ShutDown() is True
        except BaseException as error:
            failure.append(error)
        finally:
            done.set()

    try:
        thread = threading.Thread(target=worker)
        thread.start()
        longest_gap = 0.0
        last = time.monotonic()
        while not done.is_set():
            now = time.monotonic()
            longest_gap = max(longest_gap, now - last)
            last = now
            time.sleep(0.001)
        thread.join(30)
    finally:
        other.stop()
    assert not failure, failure
    # Holding the GIL through a wait would stop this loop for a second at a time.
    assert longest_gap < 0.4, longest_gap
    assert mine.modem.OperatorName() == "Quandel Mobile"  # this thread's port is still open


def test_releasing_an_sms_object_closes_no_port(mine):
    # Unlike a COM host's: the garbage collector, not the script, would choose the moment.
    class Holder:
        pass

    holder = Holder()
    holder.itself = holder  # a reference cycle: only the garbage collector frees it
    holder.sms = quandelstk.SMS()
    del holder
    gc.collect()
    last = [quandelstk.SMS()]
    thread = threading.Thread(target=last.clear)  # the last reference goes on another thread
    thread.start()
    thread.join(30)
    assert mine.modem.OperatorName() == "Quandel Mobile"


def test_objects_use_the_port_of_the_calling_thread(mine):
    # An object made on one thread and called on another uses the caller's session: here a thread
    # that has opened no port at all.
    result = []
    thread = threading.Thread(target=lambda: result.append(mine.modem.OperatorName()))
    thread.start()
    thread.join(30)
    assert result == [""]  # no port on that thread: not registered
    assert mine.modem.OperatorName() == "Quandel Mobile"
