#!/usr/bin/env python3
"""The program's start-up to its tray icon, and its memory once the icon is there, against
the smallest tray program the toolkit makes (minimal_tray), alternating the two in the
same run:

  bench/app/tray_footprint.py BUILD_DIR [ROUNDS]

Runs (as root) in a network namespace of its own with nothing but loopback, under one
Xvfb with a notification area (trayer) of its own and an address of a session bus that
is not there, the same for both programs. Start-up
is the time from just before the program is started to the moment its icon is a window
of the notification area's size docked at the top of the screen (looked for every few
milliseconds); memory is the program's resident set a second later. Goal: both within
1.2x of the baseline. The program is also measured with a settings store of 10 MB, whose
reading must not stay with it: goal, its memory within 1.05x of the program's with a
store of normal size.
"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# The helpers are imported from beside the tests; no compiled copies are left there.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "app"))
import whole_program as desktop  # noqa: E402


def docked_icon(session, pid):
    for window in session.windows("--pid", str(pid)):
        try:
            x, y, width, height = session.geometry(window)
        except desktop.Failure:
            continue
        if 8 <= width <= 48 and 8 <= height <= 48 and y < 40:
            return window
    return None


def resident_kb(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise desktop.Failure(f"no resident set for {pid}")


def large_store(scratch):
    """A configuration folder whose settings store holds 10 MB of other values."""
    folder = os.path.join(scratch, "config-large")
    os.makedirs(os.path.join(folder, "falavox"))
    lines = ["REGEDIT4", "", "[HKEY_LOCAL_MACHINE\\Software\\Falavox\\Configuracao]",
             '"BarraTitulo"=dword:00000001', '"AutoResposta"=dword:00000000', "",
             "[HKEY_LOCAL_MACHINE\\Software\\Outro]"]
    size, index = 0, 0
    while size < 10 * 1024 * 1024:
        line = f'"valor{index}"="{"x" * 80}"'
        lines.append(line)
        size += len(line) + 2
        index += 1
    with open(os.path.join(folder, "falavox", "registry.reg"), "w", newline="\r\n") as store:
        store.write("\n".join(lines) + "\n")
    return folder


def measure(session, binary, extra_env):
    """Milliseconds to the docked icon and the resident set in KB a second later."""
    env = session.env()
    env.update(extra_env)
    # No system bus: nothing the program asks for there may reach the machine's daemons.
    env["DBUS_SYSTEM_BUS_ADDRESS"] = "unix:path=/nonexistent"
    # The same session bus for both, one that is not there: without an address the
    # toolkit of the minimal program would start a bus of its own ("autolaunch"), which
    # the program never lets happen, and the two would not start alike.
    env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=/dev/null"
    started = time.perf_counter()
    program = subprocess.Popen([binary], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        while docked_icon(session, program.pid) is None:
            if program.poll() is not None:
                raise desktop.Failure(f"{binary} ended with {program.returncode}")
            if time.perf_counter() - started > 30:
                raise desktop.Failure(f"{binary} showed no tray icon within 30 s")
            time.sleep(0.002)
        elapsed = (time.perf_counter() - started) * 1000
        time.sleep(1)
        return elapsed, resident_kb(program.pid)
    finally:
        session.stop(program)


def main():
    if len(sys.argv) not in (2, 3):
        print("usage: tray_footprint.py BUILD_DIR [ROUNDS]", file=sys.stderr)
        return 2
    build = os.path.abspath(sys.argv[1])
    code = desktop.own_network_namespace(__file__)
    if code is not None:
        return code
    rounds = int(sys.argv[2]) if len(sys.argv) == 3 else 9
    scratch = tempfile.mkdtemp(prefix="falavox-footprint-")
    programs = {
        "falavox": (os.path.join(build, "app", "falavox"), {}),
        "minimal tray": (os.path.join(build, "bench", "app", "minimal_tray"), {}),
        "falavox, 10 MB store": (os.path.join(build, "app", "falavox"),
                                 {"XDG_CONFIG_HOME": large_store(scratch)}),
    }
    session = desktop.Session(scratch)
    results = {name: [] for name in programs}
    try:
        session.start_xvfb()
        desktop.start_trayer(session)
        for _ in range(rounds):
            for name, (binary, extra_env) in programs.items():
                results[name].append(measure(session, binary, extra_env))
    except desktop.Failure as failure:
        print(f"FAILED: {failure} (files in {scratch})", file=sys.stderr)
        return 1
    finally:
        session.stop_all()
    shutil.rmtree(scratch, ignore_errors=True)
    median = {name: (statistics.median(t for t, _ in runs), statistics.median(m for _, m in runs))
              for name, runs in results.items()}
    for name, (ms, kb) in median.items():
        print(f"{name}: start-up to the tray icon {ms:.0f} ms, resident {kb / 1024:.1f} MB "
              f"(medians of {rounds})")
    (fms, fkb), (bms, bkb) = median["falavox"], median["minimal tray"]
    print(f"ratios against the minimal tray program: start-up {fms / bms:.2f}, "
          f"memory {fkb / bkb:.2f} (goal: each at most 1.20)")
    lkb = median["falavox, 10 MB store"][1]
    print(f"memory with a 10 MB settings store against a normal one: {lkb / fkb:.2f} "
          f"(goal: at most 1.05)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
