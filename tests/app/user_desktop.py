"""What the desktop tests that run a compositor as an unprivileged user share: the user's
own runtime and home folders, its environment, its session bus, the processes it runs
(each ended by its PID), a caller inside the test's network namespace, and the set-up of
such a test (root, the tools it needs, a network namespace of its own, a scratch folder
the user can enter, the program copied there when the build tree is closed to it).
"""

import os
import shutil
import socket
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from whole_program import Failure, own_network_namespace, stop_process  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "platform"))
from neighbourhood_real import reachable_by_anyone  # noqa: E402

SKIP = 77
PORT = 2200
INVITATION = "Convite ao chat do usuário: Ana"
ACCEPTANCE = b"Status> Green Ligth\r\n"
REFUSAL = "Status> @!%Seu convite ao chat foi recusado! Tente mais tarde...\r\n".encode("cp1252")


class UserDesktop:
    """A desktop session of `user` in `scratch`; subclasses start the compositor."""

    def __init__(self, scratch, user):
        self.scratch = scratch
        self.user = user
        self.runtime = os.path.join(scratch, "runtime")
        self.home = os.path.join(scratch, "home")
        for folder in (self.runtime, self.home):
            os.makedirs(folder)
            os.chown(folder, user.pw_uid, user.pw_gid)
            os.chmod(folder, 0o700)
        os.chmod(scratch, 0o755)
        self.processes = []
        self.bus_pids = []
        self.shots = 0

    def desktop_env(self):
        """What this desktop adds to every program's environment."""
        return {}

    def env(self, **extra):
        env = {
            "PATH": "/usr/bin:/bin",
            "HOME": self.home,
            "USER": self.user.pw_name,
            "XDG_RUNTIME_DIR": self.runtime,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "DBUS_SESSION_BUS_ADDRESS": f"unix:path={self.runtime}/bus",
            "DBUS_SYSTEM_BUS_ADDRESS": "unix:path=/nonexistent",
            "NO_AT_BRIDGE": "1",
            "LANG": "C.UTF-8",
        }
        env.update(self.desktop_env())
        # Under the sanitizers the program keeps their settings; leaks are the unit tests'
        # business, and the desktop's client libraries keep memory of their own to the end.
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS"):
            if name in os.environ:
                env[name] = os.environ[name]
        if "ASAN_OPTIONS" in env:
            env["ASAN_OPTIONS"] += ":detect_leaks=0"
        env.update(extra)
        return env

    def as_user(self, argv, env):
        return ["setpriv", f"--reuid={self.user.pw_uid}", f"--regid={self.user.pw_gid}",
                "--clear-groups", "env", "-i", *[f"{k}={v}" for k, v in env.items()], *argv]

    def start(self, name, argv, **extra):
        log = open(os.path.join(self.scratch, f"{name}.log"), "w")
        process = subprocess.Popen(self.as_user(argv, self.env(**extra)), stdout=log,
                                   stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                   cwd=self.home)
        self.processes.append(process)
        return process

    def run(self, *argv, check=True):
        done = subprocess.run(self.as_user(list(argv), self.env()), capture_output=True,
                              text=True, timeout=20, cwd=self.home)
        if check and done.returncode != 0:
            raise Failure(f"{argv[0]} failed: {done.stderr.strip()}")
        return done.stdout

    def start_bus(self, *argv):
        """A dbus-daemon of the user's, forked; its PID is kept to end it."""
        self.bus_pids.append(int(subprocess.run(
            self.as_user(["dbus-daemon", *argv, "--fork", "--print-pid=1"], self.env()),
            capture_output=True, text=True, check=True).stdout))

    def gdbus(self, *argv):
        return self.run("gdbus", "call", "--session", *argv, check=False).strip()

    def has_owner(self, name):
        """Asked of the bus itself: a call to the name would start a service of its own."""
        return self.gdbus("-d", "org.freedesktop.DBus", "-o", "/", "-m",
                          "org.freedesktop.DBus.NameHasOwner", name).startswith("(true")

    def keep_screenshot(self, inside, name):
        """Moves the screenshot the user's program wrote at `inside` into the scratch folder,
        numbered in the order taken."""
        self.shots += 1
        if os.path.exists(inside):
            shutil.move(inside, os.path.join(self.scratch, f"{self.shots:02d}-{name}.png"))

    def stop(self, process):
        stop_process(process, timeout=10)

    def stop_all(self):
        for process in reversed(self.processes):
            self.stop(process)
        for pid in self.bus_pids:
            try:
                os.kill(pid, 15)
            except ProcessLookupError:
                pass


class Caller:
    """A caller inside the namespace: connects, invites, and collects what comes back."""

    def __init__(self, text):
        self.socket = socket.create_connection(("127.0.0.1", PORT), timeout=10)
        self.socket.sendall(f"<%$#Ana>{text}\r\n".encode("cp1252"))
        self.socket.setblocking(False)
        self.received = b""

    def read(self):
        try:
            while chunk := self.socket.recv(4096):
                self.received += chunk
        except BlockingIOError:
            pass
        return self.received

    def close(self):
        self.socket.close()


def enter_test(script, tools, missing_extra=()):
    """The common start of such a test: its one argument, the program; root and `tools`
    (and nothing in `missing_extra`) or it is skipped; a network namespace of its own, into
    which the script runs itself again. Returns (binary, None) inside the namespace, or
    (None, exit code) for the caller to return."""
    name = os.path.basename(script)
    if len(sys.argv) != 2:
        print(f"usage: {name} FALAVOX_BINARY", file=sys.stderr)
        return None, 2
    binary = os.path.abspath(sys.argv[1])
    missing = [tool for tool in tools if not shutil.which(tool)] + list(missing_extra)
    if os.geteuid() != 0 or missing:
        print(f"skipped: needs root and {', '.join(missing) or 'nothing else'}", file=sys.stderr)
        return None, SKIP
    code = own_network_namespace(script)
    return (binary, None) if code is None else (None, code)


def scratch_folder(prefix):
    """The test's scratch folder, emptied: the one the build names when the unprivileged
    user can enter it, else a new one in /tmp."""
    base = os.environ.get("FALAVOX_TEST_TMP") or ""
    if not base or not reachable_by_anyone(base):
        base = tempfile.mkdtemp(prefix=prefix)
    shutil.rmtree(base, ignore_errors=True)
    os.makedirs(base)
    return base


def copy_programs(binary, folder):
    """The program and its SMB helper (which it looks for beside itself) copied into
    `folder`, where the unprivileged user can run them; the copy's path."""
    os.makedirs(folder, exist_ok=True)
    for program in (binary, os.path.join(os.path.dirname(binary), "falavox-smb-browse")):
        if os.path.exists(program):
            copy = os.path.join(folder, os.path.basename(program))
            shutil.copy(program, copy)
            os.chmod(copy, 0o755)
    return os.path.join(folder, os.path.basename(binary))
