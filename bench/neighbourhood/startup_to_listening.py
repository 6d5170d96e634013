#!/usr/bin/env python3
"""Start-up of the real program to its listener on port 2200, with an Avahi daemon on
the network and no SMB master, against the same start-up with no provider at all
(falavox_without_providers), alternating the two in the same run:

  bench/neighbourhood/startup_to_listening.py [--slow-master] BUILD_DIR [ROUNDS]

Runs (as root) in a network namespace of its own joined by a veth pair to a second one,
each with its own system bus and avahi-daemon; the second announces a service, so that
the first scan at start-up has a computer to find. Both programs run under one Xvfb of
their own without a tray (the stand-in window), the same for both. The time is taken
inside the namespace, from just before the program is started to the moment its
listening socket appears in /proc/net/tcp; the program is then ended and the next one
started once the port is free.

With --slow-master, the second namespace also runs Samba as the workgroup's master
browser, whose SMB ports drop every packet once it is elected: the network whose browse
list never comes, beside the Avahi one.
"""

import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# The helpers are imported from beside the tests; no compiled copies are left there.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "platform"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "app"))
import neighbourhood_real as daemons  # noqa: E402
import real_pair as pair  # noqa: E402
import whole_program as desktop  # noqa: E402

PORT = 2200
# Each side's host name is its namespace's.
SIDES = (pair.Copy("fncbench1", "fncbench1", "fncbv1", "10.249.9.1"),
         pair.Copy("fncbench2", "fncbench2", "fncbv2", "10.249.9.2"))
NAMESPACES = tuple(side.namespace for side in SIDES)
daemons.NAMESPACES = NAMESPACES


def listening():
    """Whether something listens on the port, as this process's network namespace sees
    it (state 0A is LISTEN)."""
    with open("/proc/net/tcp") as table:
        return any(fields[1].endswith(f":{PORT:04X}") and fields[3] == "0A"
                   for fields in (line.split() for line in table.readlines()[1:]))


def time_one(binary):
    """Run inside the namespace: milliseconds from start to listening, then the program
    is ended and the port seen free again."""
    if listening():
        raise SystemExit("port 2200 is taken before the start")
    started = time.perf_counter()
    program = subprocess.Popen([binary], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while not listening():
        if program.poll() is not None:
            raise SystemExit(f"{binary} ended with {program.returncode} before listening")
        if time.perf_counter() - started > 30:
            program.kill()
            raise SystemExit(f"{binary} did not listen within 30 s")
        time.sleep(0.002)
    elapsed = (time.perf_counter() - started) * 1000
    program.send_signal(signal.SIGTERM)
    try:
        program.wait(10)
    except subprocess.TimeoutExpired:
        program.kill()
        program.wait()
    while listening():
        time.sleep(0.01)
    print(f"{elapsed:.1f}")


def make_network(scratch):
    pair.join(*SIDES)
    return [daemons.start_avahi(scratch, side.namespace, side.host, side.interface)
            for side in SIDES]


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--time-one":
        time_one(sys.argv[2])
        return 0
    arguments = sys.argv[1:]
    slow_master = arguments[:1] == ["--slow-master"]
    if slow_master:
        arguments = arguments[1:]
    if len(arguments) not in (1, 2):
        print("usage: startup_to_listening.py [--slow-master] BUILD_DIR [ROUNDS]",
              file=sys.stderr)
        return 2
    if os.geteuid() != 0:
        print("needs root: network namespaces and daemons of its own", file=sys.stderr)
        return 1
    build = os.path.abspath(arguments[0])
    rounds = int(arguments[1]) if len(arguments) == 2 else 9
    programs = {
        "falavox": os.path.join(build, "app", "falavox"),
        "no provider": os.path.join(build, "bench", "neighbourhood",
                                    "falavox_without_providers"),
    }
    probe = os.path.join(build, "tests", "platform", "neighbourhood_probe")
    scratch = tempfile.mkdtemp(prefix="fnc-bench-")
    os.chmod(scratch, 0o755)
    session = desktop.Session(scratch)
    turn = daemons.hold_namespaces("fncbench")  # noqa: F841 (held until the run ends)
    daemons.remove_namespaces()
    try:
        buses = make_network(scratch)
        if slow_master:
            nmbd, log = daemons.start_samba(scratch, NAMESPACES[1], SIDES[1].address)
            daemons.wait_for_master(nmbd, log)
            daemons.drop_smb_ports(scratch, NAMESPACES[1])
        session.start_xvfb()
        announcer = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=buses[1], HOME=scratch)
        session.start(["ip", "netns", "exec", NAMESPACES[1], probe, "serve"], env=announcer)
        # The first scan has the computer to find only once its announcement is out.
        seer = daemons.Probe(probe, scratch, NAMESPACES[0], buses[0])
        daemons.wait_for(f"{NAMESPACES[1]} announced", daemons.lists(
            seer, f"computer {daemons.DNSSD_PROVIDER}\tlocal\t\\\\{NAMESPACES[1]}"), 30)
        env = session.env()
        env["DBUS_SYSTEM_BUS_ADDRESS"] = buses[0]
        times = {name: [] for name in programs}
        for _ in range(rounds):
            for name, binary in programs.items():
                # Each start with an SMB name cache of its own, as the tests have.
                out = subprocess.run(["ip", "netns", "exec", NAMESPACES[0], *daemons.own_run(
                                      sys.executable, __file__, "--time-one", binary)], env=env,
                                     capture_output=True, text=True, timeout=60)
                if out.returncode != 0:
                    raise daemons.Failure(f"{name}: {out.stderr.strip()}")
                times[name].append(float(out.stdout))
    except (daemons.Failure, desktop.Failure, subprocess.TimeoutExpired) as failure:
        print(f"FAILED: {failure} (logs in {scratch})", file=sys.stderr)
        return 1
    finally:
        session.stop_all()
        daemons.remove_namespaces()
    with_avahi = statistics.median(times["falavox"])
    without = statistics.median(times["no provider"])
    print(f"start-up to listening on {PORT}, median of {rounds} alternating runs:")
    network = "a master browser whose SMB ports drop" if slow_master else "no SMB master"
    print(f"  falavox, Avahi daemon present, {network}: {with_avahi:.0f} ms "
          f"(min {min(times['falavox']):.0f}, max {max(times['falavox']):.0f})")
    print(f"  the same start-up without any provider:       {without:.0f} ms "
          f"(min {min(times['no provider']):.0f}, max {max(times['no provider']):.0f})")
    print(f"ratio: {with_avahi / without:.2f}; the providers add {with_avahi - without:.0f} ms")
    shutil.rmtree(scratch, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
