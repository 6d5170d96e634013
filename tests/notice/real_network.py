#!/usr/bin/env python3
"""Two messengers on a real network: network namespaces fmsa and fmsb joined by a veth
pair (one broadcast domain), each copy with a host name and hosts file of its own.

Checks that A's announcement brings B's answer and both user lists hold the other, that
A's farewell empties B's list, that raw LINE_MSG and MEMO_MSG datagrams raise their
events, that nmbd holding the datagram port in A's namespace gives "Could not Create Mail
Slot" and no announcement, and that tshark reads our datagrams as mailslot writes.

Needs root, tshark and nmbd; skipped (77) otherwise. Captures and outputs are left in the
scratch folder.
"""

import fcntl
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

SKIP = 77
NAMESPACES = {"fmsa": ("fmsa0", "10.243.1.1", "FMSA"), "fmsb": ("fmsb0", "10.243.1.2", "FMSB")}
# A capture's readiness marks go to the discard port, as broadcasts on the veth's network:
# nothing listens there, and they are no mailslot datagrams to dissect.
MARK_PORT = 9
MARK_SENDER = f"""import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
while True:
    s.sendto(b"", (sys.argv[1], {MARK_PORT}))
    time.sleep(0.1)
"""


class Failure(Exception):
    pass


def run(*argv, check=True):
    result = subprocess.run(argv, capture_output=True, text=True, timeout=30)
    if check and result.returncode != 0:
        raise Failure(f"{' '.join(argv)}: {result.stderr.strip()}")
    return result


def wait_for(what, predicate, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.05)
    raise Failure(f"timed out waiting for {what}")


def netbios_name(name):
    raw = name.upper().ljust(15)[:15].encode() + b"\x00"
    return b"\x20" + bytes(c for b in raw for c in (0x41 + (b >> 4), 0x41 + (b & 15))) + b"\x00"


def raw_mailslot_datagram(source, destination, source_ip, mailslot, message):
    """A direct datagram built here from the protocol's layout, not by the program."""
    name = mailslot.encode() + b"\x00"
    data_offset = 32 + 1 + 34 + 2 + len(name)
    smb = b"\xffSMB\x25" + bytes(27) + bytes([17])
    smb += struct.pack("<HHHHBBHIHHHHHBB3H", 0, len(message), 0, 0, 0, 0, 0, 0, 0, 0,
                       data_offset, len(message), data_offset, 3, 0, 1, 0, 2)
    smb += struct.pack("<H", len(name) + len(message)) + name + message
    body = netbios_name(source) + netbios_name(destination) + smb
    return struct.pack(">BBH4sHHH", 0x10, 0x02, 7, socket.inet_aton(source_ip), 138, len(body), 0) + body


class Network:
    """Namespaces named in `namespaces` (name: (veth, address, host name)), the first two
    joined by a veth pair on one /24, each with the host names of all in its hosts file,
    plus `extra_hosts`."""

    def __init__(self, scratch, namespaces=None, extra_hosts=()):
        self.scratch = scratch
        self.processes = []
        self.namespaces = namespaces or NAMESPACES
        self.extra_hosts = extra_hosts
        self.cleanups = []

    def __enter__(self):
        # Runs that use the same namespaces take turns: each starts by removing what an
        # earlier one left, which must never be a run still going.
        self.turn = open(os.path.join(tempfile.gettempdir(),
                                      f"falavox-test-{'-'.join(self.namespaces)}.lock"), "w")
        fcntl.flock(self.turn, fcntl.LOCK_EX)
        for ns in self.namespaces:
            run("ip", "netns", "del", ns, check=False)
        for ns in self.namespaces:
            run("ip", "netns", "add", ns)
            run("ip", "-n", ns, "link", "set", "lo", "up")
        (a, (a_veth, _, _)), (b, (b_veth, _, _)) = list(self.namespaces.items())
        run("ip", "link", "add", a_veth, "netns", a, "type", "veth", "peer", "name", b_veth,
            "netns", b)
        hosts = os.path.join(self.scratch, "hosts")
        with open(hosts, "w") as f:
            f.write("127.0.0.1 localhost\n")
            for line in self.extra_hosts:
                f.write(line + "\n")
            for ns, (veth, address, name) in self.namespaces.items():
                broadcast = address.rsplit(".", 1)[0] + ".255"
                run("ip", "-n", ns, "addr", "add", address + "/24", "broadcast", broadcast,
                    "dev", veth)
                run("ip", "-n", ns, "link", "set", veth, "up")
                f.write(f"{address} {name} {name.lower()}\n")
        return self

    def __exit__(self, *exc):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.kill()
            process.wait()
        for ns in self.namespaces:
            for pid in run("ip", "netns", "pids", ns, check=False).stdout.split():
                try:
                    os.kill(int(pid), signal.SIGKILL)
                except ProcessLookupError:
                    pass
            run("ip", "netns", "del", ns, check=False)
        for cleanup in self.cleanups:
            cleanup()
        self.turn.close()

    def start(self, ns, argv, samba=False, **kwargs):
        """Runs argv in the namespace under the namespace's own host name and hosts file;
        a Samba daemon also in a /run of its own holding an empty samba folder. nmbd makes
        its socket folder at a fixed path in /run/samba, and fails at once where that
        folder is missing (on a machine whose Samba services have not run since it
        started); two nmbds of tests running at the same time would take that socket from
        each other."""
        name = self.namespaces[ns][2]
        hosts = os.path.join(self.scratch, "hosts")
        script = f'mount --bind "{hosts}" /etc/hosts && hostname {name} && exec "$@"'
        if samba:
            script = "mount -t tmpfs -o mode=0755 sambarun /run && mkdir /run/samba && " + script
        process = subprocess.Popen(
            ["ip", "netns", "exec", ns, "unshare", "--mount", "--uts", "sh", "-c", script, "sh",
             *argv], **kwargs)
        self.processes.append(process)
        return process

    def probe(self, ns, *args):
        out = open(os.path.join(self.scratch, f"{ns}-{'-'.join(args[:1])}-{len(self.processes)}.txt"), "w+",
                   encoding="latin-1")
        return self.start(ns, [PROBE, *args], stdout=out, stderr=subprocess.STDOUT), out

    def capture(self, ns, path):
        """tshark on the namespace's veth, writing path. Returns once the capture runs: tshark
        says it is capturing long before its capture process has the interface open (seconds
        on a machine where it never ran), so a datagram is sent for the purpose until seen."""
        log = path + ".log"
        # Each captured packet's destination port goes to the log as it arrives.
        with open(log, "w") as out:
            process = self.start(ns, ["tshark", "-i", self.namespaces[ns][0], "-f",
                                      f"udp port 138 or udp port {MARK_PORT}", "-w", path,
                                      "-P", "-l", "-T", "fields", "-e", "udp.dstport"],
                                 stdout=out, stderr=out)
        capture = Capture(ns, process, log)
        self.mark(capture)
        return capture

    def mark(self, capture):
        """Sends datagrams to the discard port out of the captured veth until the capture
        holds one more of them than before, and so everything sent earlier."""
        def marks():
            if capture.process.poll() is not None:
                raise Failure(f"tshark ended: {open(capture.log).read()}")
            return open(capture.log).read().splitlines().count(str(MARK_PORT))
        before = marks()
        broadcast = self.namespaces[capture.ns][1].rsplit(".", 1)[0] + ".255"
        sender = self.start(capture.ns, [sys.executable, "-c", MARK_SENDER, broadcast])
        try:
            wait_for("tshark to capture", lambda: marks() > before, 30)
        finally:
            sender.kill()
            sender.wait()

    def stop_capture(self, capture):
        self.mark(capture)
        capture.process.send_signal(signal.SIGINT)
        capture.process.wait(timeout=10)


class Capture:
    def __init__(self, ns, process, log):
        self.ns, self.process, self.log = ns, process, log


def lines_of(out):
    out.flush()
    out.seek(0)
    return out.read().splitlines()


def finish(process, out, timeout=10):
    process.wait(timeout=timeout)
    return lines_of(out)


def dissect(path):
    fields = ["nbdgm.type", "nbdgm.source_name", "nbdgm.destination_name", "smb.cmd",
              "mailslot.name", "data.data"]
    argv = ["tshark", "-r", path, "-Y", "mailslot", "-T", "fields", "-E", "separator=|"]
    for field in fields:
        argv += ["-e", field]
    rows = []
    for line in run(*argv).stdout.splitlines():
        kind, source, destination, command, mailslot, data = line.split("|")
        rows.append((int(kind, 0), source, destination, command, mailslot,
                     bytes.fromhex(data.replace(":", ""))))
    return rows


def expect(condition, what):
    if not condition:
        raise Failure(what)


def main():
    if os.geteuid() != 0 or not shutil.which("tshark") or not shutil.which("nmbd"):
        print("needs root, tshark and nmbd")
        return SKIP
    base = os.environ.get("FALAVOX_TEST_TMP") or tempfile.gettempdir()
    os.makedirs(base, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="real_network-", dir=base)
    with Network(scratch) as net:
        pcap = os.path.join(scratch, "exchange.pcap")
        tshark = net.capture("fmsb", pcap)
        b, b_out = net.probe("fmsb", "listen", "3")
        wait_for("B to be active", lambda: "active" in lines_of(b_out))
        a, a_out = net.probe("fmsa", "listen", "1")
        a_lines = finish(a, a_out)
        expect("users:[FMSB]" in a_lines, f"A never listed B: {a_lines}")
        wait_for("B to see A go", lambda: "users:" in lines_of(b_out))
        b_lines = lines_of(b_out)
        expect(b_lines.index("users:[FMSA]") < b_lines.index("users:"), f"B: {b_lines}")

        # Raw datagrams from A's namespace, built by this script.
        sender = ["python3", "-c",
                  "import socket,sys; s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM); "
                  "[s.sendto(bytes.fromhex(h),('10.243.1.2',138)) for h in sys.argv[1:]]"]
        line = b"LINE_MSG\r\n10:00:00\r\nFMSA\r\nol\xe1 B\r\n"
        memo = b"MEMO_MSG\r\n10:00:00\r\nFMSA\r\nunused\r\nfirst\r\nsecond\r\nEND\r\n"
        other = raw_mailslot_datagram("FMSA", "FMSB", "10.243.1.1", "\\MAILSLOT\\other", line)
        datagrams = [raw_mailslot_datagram("FMSA", "FMSB", "10.243.1.1", "\\mailslot\\MESSNGR", m)
                     for m in (line, memo)]
        net.start("fmsa", sender + [d.hex() for d in [other] + datagrams]).wait(timeout=10)
        wait_for("B's events", lambda: any(l.startswith("memo:") for l in lines_of(b_out)))
        b_lines = finish(b, b_out)
        events = [l for l in b_lines if l.startswith(("line:", "memo:"))]
        expect(events == ["line:FMSA|ol\xe1 B", "memo:FMSA|[first][second]"],
               f"B's events: {events}")

        # A text message from an inactive messenger, and a computer nobody knows.
        t, t_out = net.probe("fmsa", "text", "FMSB", "hello there")
        expect(not any(l.startswith("error:") for l in finish(t, t_out)), "text send failed")
        u, u_out = net.probe("fmsa", "text", "NOSUCHPC", "x")
        expect("error:Could not Open a Remote Mail Slot" in finish(u, u_out), "unknown computer")
        net.stop_capture(tshark)

        rows = dissect(pcap)
        online = [r for r in rows if r[1] == "FMSA<00>" and b"ONLINE_NOTIFY" in r[5]]
        expect(online, f"no announcement dissected: {rows}")
        kind, source, destination, command, mailslot, data = online[0]
        expect((kind, source, destination, command, mailslot) ==
               (0x11, "FMSA<00>", "WORKGROUP<00>", "0x25", "\\MAILSLOT\\messngr"),
               f"announcement read as {online[0]}")
        lines = data.split(b"\r\n")
        expect(len(lines) == 6 and lines[2:] == [b"FMSA", b"ONLINE_NOTIFY", b"END_MESSAGE", b""],
               f"announcement bytes {data!r}")
        texts = [r for r in rows if r[5] == b"hello there\r\n"]
        expect(texts and texts[0][:5] == (0x10, "FMSA<00>", "FMSB<00>", "0x25", "\\MAILSLOT\\messngr"),
               f"text message read as {texts}")
        answers = [r for r in rows if b"ONLINE_RESPONSE" in r[5]]
        expect(answers and answers[0][:3] == (0x10, "FMSB<00>", "FMSA<00>"), f"answer: {answers}")

        # nmbd holds the datagram port in A's namespace: no mailslot, no announcement.
        conf = os.path.join(scratch, "smb.conf")
        # Samba's folders hold its messaging sockets, whose paths must stay short.
        private = tempfile.mkdtemp(prefix="fms-")
        net.cleanups.append(lambda: shutil.rmtree(private, ignore_errors=True))
        with open(conf, "w") as f:
            f.write("[global]\nworkgroup = WORKGROUP\nnetbios name = FMSA\n"
                    "interfaces = 10.243.1.1/24\nbind interfaces only = yes\n")
            for key in ("lock directory", "state directory", "cache directory", "pid directory",
                        "private dir", "ncalrpc dir", "binddns dir"):
                f.write(f"{key} = {private}\n")
            f.write(f"log file = {private}/log.%m\n")
        pcap2 = os.path.join(scratch, "taken.pcap")
        tshark = net.capture("fmsb", pcap2)
        nmbd = net.start("fmsa", ["nmbd", "-F", "-s", conf], samba=True,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("nmbd to hold port 138", lambda: ":138 " in run(
            "ip", "netns", "exec", "fmsa", "ss", "-uln").stdout)
        c, c_out = net.probe("fmsa", "listen", "0.2")
        c_lines = finish(c, c_out)
        expect("error:Could not Create Mail Slot" in c_lines and "inactive" in c_lines,
               f"with nmbd: {c_lines}")
        net.stop_capture(tshark)
        nmbd.kill()
        ours = [r for r in dissect(pcap2) if r[5].startswith(b"COMMAND_MSG")]
        expect(not ours, f"announced although the mailslot was taken: {ours}")
    print("ok:", scratch)
    return 0


if __name__ == "__main__":
    PROBE = sys.argv[1]
    try:
        sys.exit(main())
    except Failure as failure:
        print("FAILED:", failure)
        sys.exit(1)
