#!/usr/bin/env python3
"""The network neighbourhood against real daemons, in network namespaces of its own.

  fnbA --bridge 10.245.1.0/24-- fnbB      each with its own dbus-daemon and avahi-daemon
       --bridge 10.245.1.0/24-- fnbF      an avahi-daemon announcing 2,000 services
  fnbA --veth 10.245.2.0/24-- fnbS        Samba's nmbd and smbd, workgroup GRUPO

A copy of the neighbourhood runs in fnbA and in fnbB (neighbourhood_probe serve): each
lists the other's host under "local" through DNS-SD, and the invitation's lookup finds
the other's address though no DNS server knows the name; fnbB already announces the name
fnbA's copy would take, so fnbA's announcement goes out under the next name; fnbB's
announcement comes back
after its avahi-daemon restarts. A third host on the link, fnbF, then announces 2,000
services of the program's type: fnbA still lists fnbB and itself beside it. Then fnbF takes
60 more addresses and answers every direct query of the program from each of them with
1,024 made-up hosts: the tray menu's scan (scan_probe) still lists fnbB under "local", its
Chat submenu fits the screen and is built quickly, and the memory stays bounded. Once Samba
says it is the master browser (about 23 s after it starts), the SMB provider in fnbA lists "GRUPO" with the server in it, and a
NetBIOS name query finds the server's address. Then Samba's SMB ports drop every packet
while nmbd still answers as master browser: the tray menu's scan (with the bound of the
start-up and "Refresh" scans) still lists fnbB's host under "local", within its bound.

`neighbourhood_real.py hostile ADDRESS...` is the hostile responder itself, run in fnbF.

Needs root and the daemons; skipped (77) otherwise. Everything it starts runs inside its
own namespaces and is ended by PID; the namespaces are removed at the end.
"""

import fcntl
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
NAMESPACES = ("fnbA", "fnbB", "fnbF", "fnbS")
HOST_A, HOST_B, HOST_F = "fnbhosta", "fnbhostb", "fnbflood"
ADDRESS_A, ADDRESS_B, ADDRESS_F = "10.245.1.1", "10.245.1.2", "10.245.1.3"
ADDRESS_A_SMB, ADDRESS_SMB = "10.245.2.1", "10.245.2.2"
SMB_NAME, WORKGROUP = "FNBSMB", "GRUPO"
SMB_PROVIDER, DNSSD_PROVIDER = "Microsoft Windows Network", "Multicast DNS"
TOOLS = ("ip", "unshare", "nsenter", "dbus-daemon", "dbus-send", "avahi-daemon", "avahi-browse",
         "nmbd", "smbd", "nft")


class Failure(Exception):
    pass


def run(*argv, timeout=20, check=True):
    result = subprocess.run(argv, capture_output=True, text=True, timeout=timeout)
    if check and result.returncode != 0:
        raise Failure(f"{' '.join(argv)}: {result.stderr.strip()}")
    return result.stdout


def wait_for(what, predicate, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.3)
    raise Failure(f"timed out after {timeout:.0f} s waiting for {what}")


def hold_namespaces(tag):
    """Runs that use the same namespaces take turns: each one starts by removing what an
    earlier run left behind, which must never be the daemons of a run still going."""
    lock = open(os.path.join(tempfile.gettempdir(), f"falavox-test-{tag}.lock"), "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    return lock


def end_processes(namespace):
    for _ in range(20):
        pids = [int(p) for p in run("ip", "netns", "pids", namespace, check=False).split()]
        if not pids:
            return
        for pid in pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        time.sleep(0.1)


def remove_namespaces():
    """Ends every process left in our namespaces (daemons fork), then removes them."""
    present = run("ip", "netns", "list", check=False)
    for namespace in NAMESPACES:
        if namespace not in present.split():
            continue
        end_processes(namespace)
        run("ip", "netns", "delete", namespace, check=False)


def make_network():
    for namespace in NAMESPACES:
        run("ip", "netns", "add", namespace)
        run("ip", "-n", namespace, "link", "set", "lo", "up")

    def address(namespace, interface, dotted):
        run("ip", "-n", namespace, "addr", "add", f"{dotted}/24", "brd", "+", "dev", interface)
        run("ip", "-n", namespace, "link", "set", interface, "up")
    # fnbA's side of the first network is a bridge, so that fnbB and fnbF share one link.
    run("ip", "-n", "fnbA", "link", "add", "fnba0", "type", "bridge")
    address("fnbA", "fnba0", ADDRESS_A)
    for namespace, port, interface, dotted in (("fnbB", "fnbab", "fnbb0", ADDRESS_B),
                                               ("fnbF", "fnbaf", "fnbf0", ADDRESS_F)):
        run("ip", "link", "add", port, "netns", "fnbA", "type", "veth",
            "peer", "name", interface, "netns", namespace)
        run("ip", "-n", "fnbA", "link", "set", port, "master", "fnba0", "up")
        address(namespace, interface, dotted)
    run("ip", "link", "add", "fnbas", "netns", "fnbA", "type", "veth",
        "peer", "name", "fnbsa", "netns", "fnbS")
    address("fnbA", "fnbas", ADDRESS_A_SMB)
    address("fnbS", "fnbsa", ADDRESS_SMB)


def start_avahi(scratch, namespace, host, interface, services=None):
    """dbus-daemon and avahi-daemon in a private /run; returns the system bus address.
    `services`: a folder of static service files the daemon announces."""
    folder = os.path.join(scratch, namespace)
    os.makedirs(folder)
    config = os.path.join(folder, "avahi.conf")
    with open(config, "w") as out:
        out.write(f"[server]\nhost-name={host}\nuse-ipv4=yes\nuse-ipv6=no\n"
                  f"allow-interfaces={interface}\nenable-dbus=yes\n"
                  "[wide-area]\nenable-wide-area=no\n"
                  # Only what the program announces itself may make the host appear.
                  "[publish]\npublish-workstation=no\npublish-hinfo=no\n")
    dbus_pid = os.path.join(folder, "dbus.pid")
    own_services = f"mount --bind {services} /etc/avahi/services && " if services else ""
    script = ("mount -t tmpfs -o mode=0755 fnbrun /run && mkdir -p /run/dbus && " + own_services +
              f"dbus-daemon --system --fork --print-pid=1 >{dbus_pid} && "
              f"(avahi-daemon -f {config} >{folder}/avahi.log 2>&1 &)")
    run("ip", "netns", "exec", namespace, "unshare", "--mount", "--propagation", "private",
        "sh", "-c", script)
    pid = int(open(dbus_pid).read().split()[0])
    bus = f"unix:path=/proc/{pid}/root/run/dbus/system_bus_socket"
    # The daemon is up once it owns its name on the bus.
    wait_for(f"avahi-daemon in {namespace}", lambda: "org.freedesktop.Avahi" in run(
        "dbus-send", f"--bus={bus}", "--print-reply", "--dest=org.freedesktop.DBus",
        "/org/freedesktop/DBus", "org.freedesktop.DBus.ListNames", check=False), 10)
    return bus


def restart_avahi(scratch, namespace, bus):
    """Stops the namespace's avahi-daemon and, once the other side has seen it go, starts
    it again in the same private /run."""
    dbus_pid = bus.split("/proc/")[1].split("/")[0]
    for pid in run("ip", "netns", "pids", namespace).split():
        try:
            with open(f"/proc/{pid}/comm") as comm:
                if comm.read().strip() == "avahi-daemon":
                    os.kill(int(pid), signal.SIGTERM)
        except (FileNotFoundError, ProcessLookupError):
            pass
    wait_for(f"avahi-daemon in {namespace} to stop", lambda: "org.freedesktop.Avahi" not in run(
        "dbus-send", f"--bus={bus}", "--print-reply", "--dest=org.freedesktop.DBus",
        "/org/freedesktop/DBus", "org.freedesktop.DBus.ListNames", check=False), 10)
    folder = os.path.join(scratch, namespace)
    # The stopped daemon may leave its PID file behind, and a process of the machine may
    # have that number by now.
    return lambda: run("nsenter", "-t", dbus_pid, "-m", "-n", "sh", "-c",
                       "rm -f /run/avahi-daemon/pid; "
                       f"avahi-daemon -f {folder}/avahi.conf >>{folder}/avahi.log 2>&1 &")


def own_run(*argv):
    """argv in a /run of its own holding an empty samba folder. nmbd makes its socket
    folder at a fixed path in /run/samba, and fails at once where that folder is missing
    (on a machine whose Samba services have not run since it started); two nmbds of tests
    running at the same time would take that socket from each other; the SMB client keeps
    its name cache there."""
    return ["unshare", "--mount", "--propagation", "private", "sh", "-c",
            'mount -t tmpfs -o mode=0755 sambarun /run && mkdir /run/samba && exec "$@"', "sh",
            *argv]


def reachable_by_anyone(path):
    """Whether every folder above `path` lets any user through (a checkout under /root, as
    on a fresh Debian system, does not)."""
    folder = os.path.dirname(os.path.abspath(path))
    while True:
        if not os.stat(folder).st_mode & 0o001:
            return False
        parent = os.path.dirname(folder)
        if parent == folder:
            return True
        folder = parent


def start_samba(scratch, namespace="fnbS", address=ADDRESS_SMB):
    """nmbd and smbd in the namespace (fnbS), with folders of their own. Returns nmbd's
    process and its log."""
    folder = os.path.join(scratch, namespace)
    if not reachable_by_anyone(folder):
        # smbd reads the browse list nmbd keeps as the guest user of an anonymous session:
        # where that user cannot enter the build tree, the browse list is empty.
        folder = tempfile.mkdtemp(prefix=f"{namespace}-")
    os.makedirs(folder, exist_ok=True)
    os.chmod(folder, 0o755)
    private = {name: os.path.join(folder, name)
               for name in ("lock", "state", "cache", "pid", "private", "ncalrpc", "binddns",
                            "log")}
    for path in private.values():
        os.makedirs(path)
    config = os.path.join(folder, "smb.conf")
    with open(config, "w") as out:
        out.write(f"""[global]
workgroup = {WORKGROUP}
netbios name = {SMB_NAME}
server min protocol = NT1
local master = yes
preferred master = yes
os level = 65
interfaces = {address}/24
bind interfaces only = yes
load printers = no
disable spoolss = yes
lock directory = {private['lock']}
state directory = {private['state']}
cache directory = {private['cache']}
pid directory = {private['pid']}
private dir = {private['private']}
ncalrpc dir = {private['ncalrpc']}
binddns dir = {private['binddns']}
log file = {private['log']}/%m.log
""")
    def start(daemon):
        return subprocess.Popen(["ip", "netns", "exec", namespace,
                                 *own_run(daemon, "-F", "-s", config)],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    nmbd = start("nmbd")
    start("smbd")
    return nmbd, os.path.join(private["log"], "nmbd.log")


class Probe:
    def __init__(self, binary, scratch, namespace, bus):
        self.binary, self.namespace = binary, namespace
        home = os.path.join(scratch, namespace, "home")
        os.makedirs(home, exist_ok=True)
        self.bus = bus
        self.env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=bus, HOME=home)

    def argv(self, *args):
        # The SMB library caches the network's names (a workgroup's master browser among
        # them) in /run/samba for minutes: each run starts with an empty cache of its own,
        # so that no earlier network (another test's, a benchmark's) answers for this one.
        return ["ip", "netns", "exec", self.namespace, *own_run(self.binary, *args)]

    def serve(self):
        return subprocess.Popen(self.argv("serve"), env=self.env)

    def __call__(self, *args):
        result = subprocess.run(self.argv(*args), env=self.env, capture_output=True, text=True,
                                timeout=30)
        if result.returncode != 0 or result.stderr:
            raise Failure(f"probe {' '.join(args)} in {self.namespace}: "
                          f"status {result.returncode}, {result.stderr.strip()!r}")
        return result.stdout.splitlines()


def lists(probe, line):
    return lambda: line in probe("list")


def check_daemon_restart(a, b, scratch):
    """The announcement outlives a restart of the daemon it was made with."""
    start_again = restart_avahi(scratch, "fnbB", b.bus)
    line = f"computer {DNSSD_PROVIDER}\tlocal\t\\\\{HOST_B}"
    wait_for(f"{HOST_B} to leave fnbA's list", lambda: line not in a("list"), 10)
    start_again()
    wait_for(f"{HOST_B} back in fnbA's list after its daemon restarted", lists(a, line), 15)


def check_dnssd(a, b):
    wait_for(f"{HOST_B} under local in fnbA",
             lists(a, f"computer {DNSSD_PROVIDER}\tlocal\t\\\\{HOST_B}"), 15)
    wait_for(f"{HOST_A} under local in fnbB",
             lists(b, f"computer {DNSSD_PROVIDER}\tlocal\t\\\\{HOST_A}"), 15)
    # Asked for directly, not right after the domains (as a scan asks), too.
    if f"computer {DNSSD_PROVIDER}\tlocal\t\\\\{HOST_B}" not in a("computers", "local"):
        raise Failure(f"{HOST_B} missing from the computers of local asked for directly")
    for probe, host, address in ((a, HOST_B, ADDRESS_B), (b, HOST_A, ADDRESS_A)):
        found = probe("lookup", host)
        if found != [address]:
            raise Failure(f"lookup of {host} in {probe.namespace} gave {found}")
    # A name that no one knows still fails, with the system resolver's error.
    unknown = a("lookup", "fnbnobody")
    if len(unknown) != 1 or not unknown[0].startswith("error 1100"):
        raise Failure(f"lookup of an unknown name gave {unknown}")


def service_file(folder, name):
    """A static service of the program's type for an avahi-daemon to announce."""
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"{len(os.listdir(folder))}.service"), "w") as out:
        out.write("<?xml version=\"1.0\" standalone='no'?>\n"
                  "<!DOCTYPE service-group SYSTEM \"avahi-service.dtd\">\n"
                  f"<service-group><name>{name}</name><service>"
                  "<type>_falavox._tcp</type><port>2200</port></service></service-group>\n")


def announced(namespace, bus, name):
    """Whether the namespace's avahi-daemon sees a service of the program's type called
    `name`; the names it saw."""
    seen = run("ip", "netns", "exec", namespace, "env", f"DBUS_SYSTEM_BUS_ADDRESS={bus}",
               "avahi-browse", "--terminate", "--parsable", "--no-db-lookup", "_falavox._tcp",
               check=False).splitlines()
    # Names come with their blanks and signs as decimal escapes ("\032" for a blank).
    names = [re.sub(r"\\(\d{3})", lambda m: chr(int(m.group(1))), line.split(";")[3])
             for line in seen if line.count(";") >= 5]
    return name in names, seen


def check_name_taken(b):
    """fnbB announced "Falavox fnbhosta" before fnbA's copy started: fnbA's copy is
    announced as "Falavox fnbhosta #2"."""
    seen = []

    def renamed():
        found, seen[:] = announced("fnbB", b.bus, f"Falavox {HOST_A} #2")
        return found
    try:
        wait_for("fnbA's copy announced under its next name", renamed, 15)
    except Failure as failure:
        raise Failure(f"{failure}; fnbB sees {seen}") from None


def check_flood(a, scratch, count=2000):
    """fnbF announces `count` services of the program's type. Avahi's cache takes in what
    it can of them, and its browse reports them newest first, beyond any scan's bound:
    the real computers are still listed, each once."""
    services = os.path.join(scratch, "fnbF-services")
    for i in range(count):
        service_file(services, f"impostor {i}")
    start_avahi(scratch, "fnbF", HOST_F, "fnbf0", services)
    expected = [f"computer {DNSSD_PROVIDER}\tlocal\t\\\\{host}"
                for host in (HOST_A, HOST_B, HOST_F)]
    seen = []

    def all_listed():
        seen[:] = a("computers", "local")
        return all(line in seen for line in expected) and len(seen) == len(expected)
    try:
        # fnbF's own host is listed once its announcements have come.
        wait_for(f"{HOST_A}, {HOST_B} and {HOST_F} under local beside {count} services",
                 all_listed, 40)
    except Failure as failure:
        raise Failure(f"{failure}; the last list: {seen}") from None
    # Its services stay in fnbA's cache for the checks that follow.
    end_processes("fnbF")


def wait_for_master(nmbd, log):
    """Until nmbd says it is the workgroup's master browser: about 23 s after its start,
    more on a loaded machine. Before that a browse finds nothing."""
    def elected():
        text = open(log, errors="replace").read() if os.path.exists(log) else ""
        if nmbd.poll() is not None:
            raise Failure(f"nmbd ended with status {nmbd.returncode}: {text.strip()}")
        return f"is now a local master browser for workgroup {WORKGROUP}" in text
    wait_for(f"{SMB_NAME} to become the master browser of {WORKGROUP}", elected, 120)


def check_smb(a):
    seen = []

    def listed():
        seen[:] = a("list")
        return f"computer {SMB_PROVIDER}\t{WORKGROUP}\t\\\\{SMB_NAME}" in seen and list(seen)
    try:
        out = wait_for(f"{WORKGROUP} with {SMB_NAME} in the SMB provider", listed, 45)
    except Failure as failure:
        raise Failure(f"{failure}; the last list: {seen}") from None
    if f"domain {SMB_PROVIDER}\t{WORKGROUP}" not in out:
        raise Failure(f"{WORKGROUP} missing from {out}")
    found = a("netbios", SMB_NAME)
    if found != [ADDRESS_SMB]:
        raise Failure(f"NetBIOS query for {SMB_NAME} gave {found}")
    # The invitation's lookup reaches the same answer through its sources.
    found = a("lookup", SMB_NAME.lower())
    if found != [ADDRESS_SMB]:
        raise Failure(f"lookup of {SMB_NAME.lower()} gave {found}")


def drop_smb_ports(scratch, namespace="fnbS"):
    """Samba's TCP ports drop every packet from now on; nmbd keeps answering as master."""
    rules = os.path.join(scratch, "drop-smb.nft")
    with open(rules, "w") as out:
        out.write("table inet fnbdrop {\n"
                  "  chain input {\n"
                  "    type filter hook input priority 0; policy accept;\n"
                  "    tcp dport { 139, 445 } drop\n"
                  "  }\n"
                  "}\n")
    run("ip", "netns", "exec", namespace, "nft", "-f", rules)


def scan(a, scan_probe, bound_ms, *extra):
    result = subprocess.run(["ip", "netns", "exec", a.namespace,
                             *own_run(scan_probe, str(bound_ms), *extra)],
                            env=dict(a.env, QT_QPA_PLATFORM="offscreen"), capture_output=True,
                            text=True, timeout=90)
    if result.returncode != 0:
        raise Failure(f"scan_probe {bound_ms}: status {result.returncode}, "
                      f"{result.stderr.strip()!r}")
    lines = result.stdout.splitlines()
    elapsed = int(lines[-1].split()[1])
    domains = [line.split(" ", 1)[1] for line in lines if line.startswith("domain ")]
    computers = [line.split(" ", 1)[1].split("\t") for line in lines
                 if line.startswith("computer ")]
    if extra:
        report = dict(line.split(" ", 1) for line in lines
                      if line.split(" ", 1)[0] in ("menu", "fits", "peak", "gap"))
        return domains, computers, elapsed, report
    return domains, computers, elapsed


def listed_under_local(domains, computers, host):
    return "local" in domains and [str(domains.index("local")), host] in computers


def check_scan_beside_silent_smb(a, scan_probe, scratch):
    """The master browser answers but its server never does: the DNS-SD computers are
    listed by the scan (start-up and "Refresh" scans have the same bound), and the scan
    keeps to its bounds. On a loaded machine a scan may still miss a late answer: the
    scan is repeated until it lists fnbB, each within its bound."""
    drop_smb_ports(scratch)
    bound_ms, limit_ms = 30000, 9000
    last = []

    def scanned():
        domains, computers, elapsed = scan(a, scan_probe, bound_ms)
        last[:] = [domains, computers, elapsed]
        if elapsed > limit_ms:
            raise Failure(f"the scan bound to {bound_ms} ms took {elapsed} ms")
        return listed_under_local(domains, computers, HOST_B)
    try:
        wait_for(f"{HOST_B} under local in a scan beside a silent SMB server", scanned, 60)
    except Failure as failure:
        raise Failure(f"{failure}; the last scan: {last}") from None
    print(f"scan bound to {bound_ms} ms beside a silent SMB server: {HOST_B} listed "
          f"after {last[2]} ms")


HOSTILE_ADDRESSES = [f"10.245.1.{n}" for n in range(100, 160)]
HOSTILE_HOSTS = 1024


def hostile_responder(addresses, hosts_per_address=HOSTILE_HOSTS):
    """Answers every query sent from a port other than 5353 (the program's direct query)
    from each of `addresses`, each naming `hosts_per_address` made-up hosts of the
    program's type that sort before any real one: the first of them at that address, a
    third at an address of another, the rest with no address. Runs until killed."""
    import socket
    import struct

    def name(*labels):
        return b"".join(bytes([len(l)]) + l.encode() for l in labels) + b"\0"

    def record(owner, rtype, data):
        return owner + struct.pack(">HHIH", rtype, 0x8001, 120, len(data)) + data

    listen = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listen.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listen.bind(("", 5353))
    listen.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                      socket.inet_aton("224.0.0.251") + socket.inet_aton(addresses[0]))
    senders = []
    for address in addresses:
        sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sender.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        sender.bind((address, 5353))
        packets = []
        for first in range(0, hosts_per_address, 30):
            records = []
            for j in range(first, min(first + 30, hosts_per_address)):
                host = f"aaa-{address.rsplit('.', 1)[1]}-{j}"
                target = name(host, "local")
                records.append(record(name(f"x{j}", "_falavox", "_tcp", "local"), 33,
                                      struct.pack(">HHH", 0, 0, 2200) + target))
                if j == 0 or j % 3 == 1:
                    at = address if j == 0 else "10.245.1.250"
                    records.append(record(target, 1, socket.inet_aton(at)))
            packets.append((len(records), b"".join(records)))
        senders.append((sender, packets))
    print("ready", flush=True)
    while True:
        data, (source, port) = listen.recvfrom(9000)
        if port == 5353 or len(data) < 12:
            continue
        query_id, flags = struct.unpack(">HH", data[:4])
        if flags & 0x8000:
            continue
        for sender, packets in senders:
            for count, body in packets:
                header = struct.pack(">HHHHHH", query_id, 0x8400, 0, count, 0, 0)
                try:
                    sender.sendto(header + body, (source, port))
                except OSError:
                    pass


def check_hostile_sender(a, scan_probe, scratch):
    """fnbF answers each direct query from 60 addresses with 1,024 made-up hosts each,
    beside the 2,000 services still in fnbA's daemon: the scan lists fnbB under local, the
    Chat submenu fits the screen and is built quickly, and the memory stays bounded."""
    for address in HOSTILE_ADDRESSES:
        run("ip", "-n", "fnbF", "addr", "add", f"{address}/24", "dev", "fnbf0")
    run("ip", "-n", "fnbF", "link", "set", "fnbf0", "up")
    log = open(os.path.join(scratch, "hostile.log"), "w")
    responder = subprocess.Popen(["ip", "netns", "exec", "fnbF", sys.executable,
                                  os.path.abspath(__file__), "hostile", *HOSTILE_ADDRESSES],
                                 stdout=log, stderr=log)
    last = []
    try:
        def ready():
            if responder.poll() is not None:
                raise Failure(f"the hostile responder ended with status {responder.returncode}")
            return "ready" in open(log.name).read()
        wait_for("the hostile responder", ready, 30)

        def scanned():
            domains, computers, elapsed, report = scan(a, scan_probe, 30000, "menu")
            # Some of its hosts are listed too: the flood did reach the program (how many
            # of its packets the program's socket takes in depends on the machine's load).
            flooded = sum(1 for _, name in computers if name.startswith("aaa-"))
            real = listed_under_local(domains, computers, HOST_B)
            last[:] = [domains, len(computers), elapsed, report, f"{flooded} made-up",
                       f"{HOST_B} {'listed' if real else 'missing'}"]
            return flooded >= 10 and real and report
        report = wait_for(f"{HOST_B} under local beside a hostile sender", scanned, 90)
    except Failure as failure:
        raise Failure(f"{failure}; the last scan: {last}") from None
    finally:
        end_processes("fnbF")
        responder.wait(10)
    # Generous bounds: the goals (0.5 s, a few tens of MB) are measured, not asserted.
    if report.get("fits") != "yes":
        raise Failure(f"the Chat submenu does not fit the screen: {last}")
    if int(report["menu"]) > 5000:
        raise Failure(f"the Chat submenu took {report['menu']} ms to build and show")
    if int(report["peak"]) > 400 * 1024:
        raise Failure(f"the scan's process held {report['peak']} KB")
    print(f"hostile sender, {len(HOSTILE_ADDRESSES)} addresses x {HOSTILE_HOSTS} hosts: "
          f"{HOST_B} listed among {last[1]} computers; menu {report['menu']} ms, "
          f"peak {int(report['peak']) // 1024} MB, scan {last[2]} ms, longest pause of the "
          f"event loop {report['gap']} ms")


def main():
    if len(sys.argv) > 2 and sys.argv[1] == "hostile":
        hostile_responder(sys.argv[2:])
        return 0
    if len(sys.argv) not in (2, 3):
        print("usage: neighbourhood_real.py NEIGHBOURHOOD_PROBE [SCAN_PROBE]", file=sys.stderr)
        return 2
    scan_probe = os.path.abspath(sys.argv[2]) if len(sys.argv) == 3 else None
    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    if os.geteuid() != 0 or missing:
        print(f"skipped: needs root and {', '.join(missing) or 'network namespaces'}",
              file=sys.stderr)
        return SKIP
    binary = os.path.abspath(sys.argv[1])
    scratch = os.environ.get("FALAVOX_TEST_TMP") or tempfile.mkdtemp(prefix="fnb-")
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    os.chmod(scratch, 0o755)
    started = time.monotonic()
    turn = hold_namespaces("fnb")  # noqa: F841 (held until the run ends)
    remove_namespaces()
    try:
        make_network()
        nmbd, nmbd_log = start_samba(scratch)
        a = Probe(binary, scratch, "fnbA", start_avahi(scratch, "fnbA", HOST_A, "fnba0"))
        taken = os.path.join(scratch, "fnbB-services")
        service_file(taken, f"Falavox {HOST_A}")
        b = Probe(binary, scratch, "fnbB", start_avahi(scratch, "fnbB", HOST_B, "fnbb0", taken))
        wait_for("fnbB's service seen in fnbA",
                 lambda: announced("fnbA", a.bus, f"Falavox {HOST_A}")[0], 15)
        servers = [a.serve(), b.serve()]
        check_dnssd(a, b)
        print(f"DNS-SD: both hosts listed and resolved ({time.monotonic() - started:.1f} s)")
        check_name_taken(b)
        print(f"DNS-SD: a name taken elsewhere is announced under the next "
              f"({time.monotonic() - started:.1f} s)")
        check_daemon_restart(a, b, scratch)
        print(f"DNS-SD: announced again after a daemon restart "
              f"({time.monotonic() - started:.1f} s)")
        check_flood(a, scratch)
        print(f"DNS-SD: both hosts listed beside 2,000 services of a third "
              f"({time.monotonic() - started:.1f} s)")
        if scan_probe:
            check_hostile_sender(a, scan_probe, scratch)
        wait_for_master(nmbd, nmbd_log)
        print(f"SMB: {SMB_NAME} is the master browser ({time.monotonic() - started:.1f} s)")
        check_smb(a)
        print(f"SMB: {WORKGROUP} and {SMB_NAME} listed and resolved "
              f"({time.monotonic() - started:.1f} s)")
        if scan_probe:
            check_scan_beside_silent_smb(a, scan_probe, scratch)
        # The neighbourhood ends cleanly: the announcement is withdrawn, its thread
        # stopped, nothing left over (which the sanitizer builds check at exit).
        for server in servers:
            server.terminate()
            if server.wait(10) != 0:
                raise Failure(f"neighbourhood ended with status {server.returncode}")
    except (Failure, subprocess.TimeoutExpired) as failure:
        print(f"FAILED: {failure} (daemons' logs in {scratch})", file=sys.stderr)
        return 1
    finally:
        remove_namespaces()
    return 0


if __name__ == "__main__":
    sys.exit(main())
