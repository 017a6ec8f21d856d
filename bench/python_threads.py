#!/usr/bin/env python3
"""Two Python threads, each driving its own slow simulated modem, against one thread alone.

The library releases the GIL while it waits on the modem, so two threads that each wait on their
own modem take about the time one takes; if it held the GIL they would take twice as long, as the
same work done one modem after the other does.

    python3 bench/python_threads.py [BUILD_DIR] [QUERIES] [DELAY_MS]

BUILD_DIR (default build/release, else build/dev) holds python/quandelstk*.so and
bin/quandelstk-modemsim. Each modem answers every command DELAY_MS (default 150) late; each thread
makes QUERIES (default 12) queries after its Init (which is not timed). Prints the figures;
nothing is asserted (tests/python/test_threads.py checks the GIL and the answers).
"""
import json
import pathlib
import subprocess
import sys
import tempfile
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
build = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "build" / "release"
if not (build / "python").is_dir() and len(sys.argv) <= 1:
    build = ROOT / "build" / "dev"
QUERIES = int(sys.argv[2]) if len(sys.argv) > 2 else 12
DELAY_MS = int(sys.argv[3]) if len(sys.argv) > 3 else 150
sys.path.insert(0, str(build / "python"))
import quandelstk  # noqa: E402


def start_simulator(folder, name):
    scenario = folder / f"{name}.json"
    scenario.write_text(json.dumps({"delays": {"*": DELAY_MS}, "network": {"operator": name}}))
    process = subprocess.Popen([str(build / "bin" / "quandelstk-modemsim"), "--scenario", str(scenario)],
                               stdout=subprocess.PIPE, text=True)
    return process, process.stdout.readline().strip()


def queries(modem, operator):
    for i in range(QUERIES):
        if i % 2:
            assert modem.OperatorName() == operator
        else:
            modem.SignalStrength()


def run(devices, threads):
    """Each device's Init on its own thread (or all on this one), then the timed queries."""
    ready = threading.Barrier(len(devices) + 1)
    finish = []

    def work(device, operator):
        modem = quandelstk.Modem()
        assert modem.Init(device) is quandelstk.InitStatus.OK
        ready.wait()
        ready.wait()  # the clock starts
        queries(modem, operator)
        finish.append(time.monotonic())
        modem.ShutDown()

    if threads:
        workers = [threading.Thread(target=work, args=d) for d in devices]
        for w in workers:
            w.start()
        ready.wait()
        start = time.monotonic()
        ready.wait()
        for w in workers:
            w.join()
        return max(finish) - start
    # One thread: one port at a time, so each modem in turn.
    total = 0.0
    for device, operator in devices:
        modem = quandelstk.Modem()
        assert modem.Init(device) is quandelstk.InitStatus.OK
        start = time.monotonic()
        queries(modem, operator)
        total += time.monotonic() - start
        modem.ShutDown()
    return total


def main():
    with tempfile.TemporaryDirectory() as folder:
        sims = [start_simulator(pathlib.Path(folder), name) for name in ("Alpha Net", "Beta Net")]
        try:
            devices = [(path, name) for (_, path), name in zip(sims, ("Alpha Net", "Beta Net"))]
            one = run(devices[:1], threads=True)
            two = run(devices, threads=True)
            serial = run(devices, threads=False)
        finally:
            for process, _ in sims:
                process.terminate()
                process.wait()
    print(f"{QUERIES} queries per modem, every answer {DELAY_MS} ms late (quandelstk {quandelstk.__version__})")
    print(f"  one thread, one modem:            {one:6.2f} s")
    print(f"  two threads, a modem each:        {two:6.2f} s  ({two / one:.2f} x one)")
    print(f"  one thread, two modems in turn:   {serial:6.2f} s  ({serial / one:.2f} x one)")


if __name__ == "__main__":
    main()
