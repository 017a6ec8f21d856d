"""The simulated modem for the Python binding's tests: quandelstk-modemsim on a pseudo-terminal.

QSTK_MODEMSIM names the simulator and PYTHONPATH the folder of the built module (ctest sets both);
run by hand from the source tree they default to the dev build:

    PYTHONPATH=build/dev/python python3 -m pytest tests/python
"""
import concurrent.futures
import contextlib
import json
import os
import pathlib
import select
import subprocess
import sys
import time
import types

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
if not os.environ.get("PYTHONPATH"):
    sys.path.insert(0, str(ROOT / "build" / "dev" / "python"))
MODEMSIM = os.environ.get("QSTK_MODEMSIM") or str(ROOT / "build" / "dev" / "bin" / "quandelstk-modemsim")

import quandelstk  # noqa: E402

OWN = "+15550100999"
# Short network delays, and every answer in pieces of 5 bytes: the binding's calls read the line
# as a real modem hands it over.
FAST = {"sms": {"loopback_delay_ms": 100, "report_delay_ms": 200}, "chunking": {"*": {"size": 5, "gap_ms": 2}}}


class Simulator:
    """One quandelstk-modemsim process with a scenario; its device path is .path."""

    def __init__(self, folder, scenario):
        scenario_file = folder / f"scenario-{id(self)}.json"
        scenario_file.write_text(json.dumps(scenario))
        self.process = subprocess.Popen([MODEMSIM, "--scenario", str(scenario_file)], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
        ready, _, _ = select.select([self.process.stdout], [], [], 10)
        self.path = self.process.stdout.readline().strip() if ready else ""
        if not self.path.startswith("/dev/"):
            self.stop()
            raise RuntimeError(f"quandelstk-modemsim printed no device path: {self.process.stderr.read()}")

    def stop(self):
        self.process.terminate()
        self.process.communicate(timeout=10)


@pytest.fixture
def start_sim(tmp_path):
    """start_sim(scenario=FAST) -> Simulator, stopped after the test."""
    started = []
    yield lambda scenario=FAST: started.append(Simulator(tmp_path, scenario)) or started[-1]
    for sim in started:
        sim.stop()


@contextlib.contextmanager
def connection(folder, scenario=None):
    """A simulator (FAST when no scenario) with a Modem initialised on it by its device path, as .sim
    and .modem. An Init takes about 3 s (three IMEI queries a second apart): a test file shares one."""
    sim = Simulator(folder, FAST if scenario is None else scenario)
    modem = quandelstk.Modem()
    try:
        assert modem.Init(sim.path) is quandelstk.InitStatus.OK
        yield types.SimpleNamespace(sim=sim, modem=modem)
    finally:
        modem.ShutDown()
        sim.stop()


def in_thread(call, *args):
    """call(*args) on a new thread, so with a session (a port) of its own: its result, or its
    exception raised here."""
    with concurrent.futures.ThreadPoolExecutor(1) as pool:
        return pool.submit(call, *args).result(120)


def wait_for(call, seconds=10.0):
    """Calls call() until it returns something true, for a bounded while; its last result."""
    deadline = time.monotonic() + seconds
    while not (result := call()) and time.monotonic() < deadline:
        time.sleep(0.1)
    return result
