"""Threads: each Python thread has its own session (its own port), and the GIL is released while
the library waits on the modem."""
import gc
import threading
import time
import types

import pytest

import quandelstk
from conftest import FAST, Simulator, connection, in_thread


@pytest.fixture(scope="module")
def mine(tmp_path_factory):
    """This thread's own modem."""
    with connection(tmp_path_factory.mktemp("sim")) as c:
        yield c


def test_the_gil_is_released_and_the_threads_ports_are_their_own(mine, tmp_path):
    # A worker initialises another modem (Init waits three times a second for it), reads its signal
    # 800 ms late and shuts its port. Meanwhile this thread must keep running, and its port stay open.
    other = Simulator(tmp_path, {**FAST, "delays": {"AT+CSQ": 800}})
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
        longest_gap, last = 0.0, time.monotonic()
        while not done.is_set():
            now = time.monotonic()
            longest_gap, last = max(longest_gap, now - last), now
            time.sleep(0.001)
        thread.join(30)
    finally:
        other.stop()
    assert not failure, failure
    # Holding the GIL through a wait would stop this loop for a second at a time.
    assert longest_gap < 0.4, longest_gap
    assert mine.modem.OperatorName() == "Quandel Mobile"  # this thread's port is still open


def test_sessions_follow_the_calling_thread_not_the_object(mine):
    # Releasing an SMS object closes no port, unlike a COM host's: the garbage collector, not the
    # script, would choose the moment, maybe on another thread.
    holder = types.SimpleNamespace(sms=quandelstk.SMS())
    holder.itself = holder  # a reference cycle: only the garbage collector frees it
    del holder
    gc.collect()
    last = [quandelstk.SMS()]
    in_thread(last.clear)  # the last reference goes on another thread
    assert mine.modem.OperatorName() == "Quandel Mobile"
    # An object made on this thread and called on one that opened no port uses that one's session.
    assert in_thread(mine.modem.OperatorName) == ""
