"""The simulated modem for the Python binding's tests: quandelstk-modemsim on a pseudo-terminal.

QSTK_MODEMSIM names the simulator and PYTHONPATH the folder of the built module (ctest sets both);
run by hand from the source tree they default to the dev build:

    PYTHONPATH=build/dev/python python3 -m pytest tests/python
"""
import contextlib
import json
import os
import pathlib
import select
import signal
import subprocess
import sys
import threading
import time
import types

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
if not os.environ.get("PYTHONPATH"):
    sys.path.insert(0, str(ROOT / "build" / "dev" / "python"))
MODEMSIM = os.environ.get("QSTK_MODEMSIM") or str(ROOT / "build" / "dev" / "bin" / "quandelstk-modemsim")

import quandelstk  # noqa: E402

OWN = "+15550100999"
CENTRE = "+15550100123"
# Short network delays: a message to the own number comes back, and a report follows, quickly.
FAST = {"sms": {"loopback_delay_ms": 100, "report_delay_ms": 200}}


class Simulator:
    """One quandelstk-modemsim process; its device path is .path."""

    def __init__(self, folder, scenario=None, transcript=False):
        args = [MODEMSIM]
        if scenario is not None:
            scenario_file = folder / f"scenario-{id(self)}.json"
            scenario_file.write_text(json.dumps(scenario))
            args += ["--scenario", str(scenario_file)]
        self.transcript = folder / f"transcript-{id(self)}.txt" if transcript else None
        if self.transcript:
            args += ["--transcript", str(self.transcript)]
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        ready, _, _ = select.select([self.process.stdout], [], [], 10)
        line = self.process.stdout.readline().strip() if ready else ""
        if not line.startswith("/dev/"):
            self.stop()
            raise RuntimeError(f"quandelstk-modemsim printed no device path: {self.process.stderr.read()}")
        self.path = line

    def transcript_text(self):
        return self.transcript.read_text() if self.transcript else ""

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        for stream in (self.process.stdout, self.process.stderr):
            stream.close()


@pytest.fixture
def start_sim(tmp_path):
    """start_sim(scenario=None, transcript=False) -> Simulator, stopped after the test."""
    started = []

    def start(scenario=None, transcript=False):
        sim = Simulator(tmp_path, scenario, transcript)
        started.append(sim)
        return sim

    yield start
    for sim in started:
        sim.stop()


@contextlib.contextmanager
def connection(folder, scenario=None):
    """A simulator with the scenario (FAST when none) and a Modem initialised on it by its device
    path, as .sim and .modem; the port is shut and the simulator stopped afterwards. An Init takes
    about 3 s (it asks for the IMEI three times, a second apart), so a test file shares one."""
    sim = Simulator(folder, FAST if scenario is None else scenario)
    modem = quandelstk.Modem()
    try:
        assert modem.Init(sim.path) is quandelstk.InitStatus.OK
        yield types.SimpleNamespace(sim=sim, modem=modem)
    finally:
        modem.ShutDown()
        sim.stop()


def in_thread(call, *args):
    """call(*args) on a thread of its own, which has a session (a port) of its own: its result, or
    its exception raised here."""
    outcome = {}

    def run():
        try:
            outcome["result"] = call(*args)
        except BaseException as error:
            outcome["error"] = error

    thread = threading.Thread(target=run)
    thread.start()
    thread.join(120)
    if "error" in outcome:
        raise outcome["error"]
    return outcome["result"]


def wait_for(call, seconds=6.0, pause=0.1):
    """Calls call() until it returns something true, for a bounded while; its last result."""
    deadline = time.monotonic() + seconds
    while True:
        result = call()
        if result or time.monotonic() > deadline:
            return result
        time.sleep(pause)
