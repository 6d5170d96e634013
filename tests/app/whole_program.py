#!/usr/bin/env python3
"""Runs the real falavox program the way a user meets it, under its own Xvfb.

With a notification area (trayer): the program listens on 0.0.0.0:2200, a plain TCP
client can connect, a second copy shows its error box and ends with code 1 after "OK",
and "&Fechar" from the tray menu ends the first copy with code 0 and frees the port.
Without one: the stand-in window appears and its "&Fechar" ends the program.

The tray menu, with the main form over a scripted network (tray_harness): during a slow
"&Refresh" a right click opens nothing, the tooltip reads "Localizando usuários..." and the
icon animates; afterwards the menu opens. Then two copies in one process: copy A's tray
menu is followed through "&Chat" and the workgroup to copy B's address, B's invitation
dialog is accepted, and a line typed in each chat window reaches both. None of these runs
(no session bus in their environment) leaves a session-bus process behind. Then, on a
StatusNotifierItem host (xfce4-panel on a private session bus), the exported menu is empty
during a scan and afterwards holds the same items, glyphs and Chat submenu, and a click
the host reports on "&Fechar" ends the program. Last, with a window manager (openbox) and
a notification service (dunst): an invitation arrives while the user types in a terminal;
the dialog shows on top but the typing stays in the terminal and answers nothing, the
notification shows, and a click on "&Aceitar" a second later accepts and withdraws it. The
notification's own "Aceitar", picked at once, accepts the next one. A third invitation over
a full-screen terminal is seen through its notification, whose body brings the dialog
forward with the keyboard.

Runs in a network namespace of its own (needs root); skipped (77) otherwise.
Screenshots of every step are left in the scratch folder.
"""

import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
PORT = 2200
SECOND_COPY_TEXT = (
    "Houve um erro na execução do sistema, as possiveis causas podem ser:\n\n"
    ". Você já esta executando o Falavox©\n"
    ". Seu protocolo de rede não é TCP/IP\n\n"
    "O sistema será finalizado."
)


class Failure(Exception):
    pass


def own_network_namespace(script):
    """None once this process runs in a network namespace of its own with only its
    loopback, up. Otherwise `script` runs again with the same arguments in a namespace
    made for it, and what it returns is returned; skipped (77) without root."""
    if os.environ.get("FALAVOX_OWN_NETNS") == "1":
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        return None
    if os.geteuid() != 0 or not shutil.which("unshare"):
        print("skipped: a network namespace of its own needs root", file=sys.stderr)
        return SKIP
    env = dict(os.environ, FALAVOX_OWN_NETNS="1")
    return subprocess.call(["unshare", "-n", "--", sys.executable, script, *sys.argv[1:]],
                           env=env)


def stop_process(process, timeout=5):
    """Ends a process this test started, by its PID: asked first, then killed."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def wait_for(what, predicate, timeout=20.0, interval=0.1):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    raise Failure(f"timed out waiting for {what}")


def report_failure(failure, base, logs):
    """Says what failed, where the screenshots are, and the end of each log that exists."""
    print(f"FAILED: {failure} (screenshots in {base})", file=sys.stderr)
    for path in logs:
        if os.path.exists(path):
            print(f"--- {os.path.basename(path)} ---\n{open(path).read()[-3000:]}",
                  file=sys.stderr)


class Session:
    """Processes started by the test, each ended by its own PID at the end."""

    def __init__(self, scratch):
        self.scratch = scratch
        self.processes = []
        self.display = None
        self.shots = 0

    def start(self, argv, **kwargs):
        process = subprocess.Popen(argv, **kwargs)
        self.processes.append(process)
        return process

    def env(self):
        env = dict(os.environ)
        env.update(
            DISPLAY=self.display,
            QT_QPA_PLATFORM="xcb",
            HOME=self.scratch,
            XDG_CONFIG_HOME=os.path.join(self.scratch, "config"),
            XDG_RUNTIME_DIR=self.runtime_dir(),
        )
        env.pop("WAYLAND_DISPLAY", None)
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        return env

    def runtime_dir(self):
        path = os.path.join(self.scratch, "runtime")
        os.makedirs(path, mode=0o700, exist_ok=True)
        return path

    def x(self, *argv, check=True):
        result = subprocess.run(argv, env=self.env(), capture_output=True, text=True, timeout=20)
        if check and result.returncode != 0:
            raise Failure(f"{argv[0]} failed: {result.stderr.strip()}")
        return result.stdout

    def start_xvfb(self):
        for number in range(100, 200):
            if os.path.exists(f"/tmp/.X{number}-lock"):
                continue
            # Without -noreset the server resets when its last client (the readiness
            # probe) leaves, and a client that connects meanwhile is turned away.
            server = self.start(
                ["Xvfb", f":{number}", "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                 "-noreset"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.display = f":{number}"
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and server.poll() is None:
                probe = subprocess.run(["xdpyinfo"], env=self.env(), capture_output=True)
                if probe.returncode == 0:
                    return
                time.sleep(0.1)
            self.stop(server)
        raise Failure("no free X display from :100 to :199")

    def stop(self, process):
        stop_process(process)

    def stop_all(self):
        for process in reversed(self.processes):
            self.stop(process)

    def screenshot(self, name):
        self.shots += 1
        path = os.path.join(self.scratch, f"{self.shots:02d}-{name}.png")
        self.x("import", "-window", "root", path, check=False)
        return path

    def windows(self, *search):
        # xdotool lists the windows that match any one condition unless told --all.
        out = self.x("xdotool", "search", *search, check=False)
        return [w for w in out.split()]

    def geometry(self, window):
        values = {}
        for line in self.x("xdotool", "getwindowgeometry", "--shell", window).splitlines():
            key, _, value = line.partition("=")
            values[key] = int(value) if value.lstrip("-").isdigit() else value
        return values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]

    def click(self, x, y, button=1):
        self.x("xdotool", "mousemove", str(x), str(y), "sleep", "0.2", "click", str(button))


def listening_on_2200():
    out = subprocess.run(["ss", "-Hltn", f"sport = :{PORT}"], capture_output=True,
                         text=True).stdout
    return [line for line in out.splitlines() if line.strip()]


def start_falavox(session, binary, name):
    log = open(os.path.join(session.scratch, f"{name}.stderr"), "w+")
    process = session.start([binary], env=session.env(), stdout=subprocess.DEVNULL, stderr=log)
    return process, log


def exit_code(process, what, timeout=20):
    try:
        return process.wait(timeout)
    except subprocess.TimeoutExpired:
        raise Failure(f"{what} did not end")


def check_second_copy(session, binary, first):
    second, log = start_falavox(session, binary, "second")
    box = wait_for("the second copy's error box",
                   lambda: session.windows("--all", "--onlyvisible", "--pid",
                                           str(second.pid), "--name", "^Erro$"))[0]
    session.screenshot("second-copy-error-box")
    log.seek(0)
    told = log.read()
    if SECOND_COPY_TEXT not in told:
        raise Failure(f"second copy said {told!r}")
    if f"port {PORT} is held by falavox (pid {first.pid})" not in told:
        raise Failure(f"second copy did not name the first as the port's holder: {told!r}")
    time.sleep(0.5)
    if second.poll() is not None:
        raise Failure("the second copy ended before its box was answered")
    # "OK" is the only button, at the bottom right of the box. On a loaded machine (the
    # sanitizer build) a click can reach the box before its button is laid out, so it is
    # clicked again, at the box's geometry as it stands then, until the copy ends.
    for attempt in range(3):
        x, y, width, height = session.geometry(box)
        session.click(x + width - 50, y + height - 24)
        try:
            code = second.wait(10)
            break
        except subprocess.TimeoutExpired:
            continue
    else:
        raise Failure("the second copy after OK did not end")
    if code != 1:
        raise Failure(f"second copy ended with {code}, expected 1")
    if first.poll() is not None or not listening_on_2200():
        raise Failure("the first copy was disturbed by the second")


def check_fechar_from_tray(session, first):
    icon, x, y = find_tray_icon(session, first)
    session.click(x, y, button=3)

    def menu():
        shown = session.windows("--onlyvisible", "--pid", str(first.pid))
        return [window for window in shown if window != icon]

    mx, my, mw, mh = session.geometry(wait_for("the tray menu", menu)[0])
    session.screenshot("tray-menu-open")
    # "&Fechar" is the last item of the menu.
    session.click(mx + mw // 2, my + mh - 12)
    code = exit_code(first, "the program after &Fechar")
    if code != 0:
        raise Failure(f"&Fechar ended the program with {code}, expected 0")
    wait_for("port 2200 to be free", lambda: not listening_on_2200(), timeout=5)


def find_tray_icon(session, first):
    # The icon is a window of the program embedded into trayer's dock at the top
    # right of the screen; its absolute place is what xdotool reports.
    def icon():
        for window in session.windows("--pid", str(first.pid)):
            try:
                x, y, width, height = session.geometry(window)
            except Failure:
                continue
            if 8 <= width <= 48 and 8 <= height <= 48 and y < 40 and x > 512:
                return window, x + width // 2, y + height // 2
        return None

    return wait_for("the tray icon", icon)


def start_trayer(session):
    log = open(os.path.join(session.scratch, "trayer.stderr"), "w")
    for _ in range(3):
        tray = session.start(["trayer", "--edge", "top", "--align", "right", "--widthtype",
                              "request", "--height", "32", "--SetDockType", "true"],
                             env=session.env(), stdout=subprocess.DEVNULL, stderr=log)
        # A tray host that could not take over the notification area ends at once.
        wait_for("trayer's window",
                 lambda: tray.poll() is not None or session.windows("--class", "trayer"))
        if tray.poll() is None:
            return tray
        log.write(f"trayer ended with {tray.returncode}\n")
        log.flush()
        time.sleep(0.5)
    raise Failure("trayer would not start")


def run_with_tray(session, binary):
    tray = start_trayer(session)
    first, _ = start_falavox(session, binary, "first")
    wait_for("the listener on 0.0.0.0:2200", listening_on_2200)
    lines = listening_on_2200()
    if not any(f"0.0.0.0:{PORT}" in line for line in lines):
        raise Failure(f"not listening on every address: {lines}")
    with socket.create_connection(("127.0.0.1", PORT), timeout=5):
        pass
    icon, _, _ = find_tray_icon(session, first)
    session.screenshot("tray-icon")
    shown = session.windows("--onlyvisible", "--pid", str(first.pid))
    if shown != [icon]:
        raise Failure(f"windows besides the tray icon are showing: {shown} (icon {icon})")
    check_second_copy(session, binary, first)
    check_fechar_from_tray(session, first)
    session.stop(tray)


def run_without_tray(session, binary):
    program, _ = start_falavox(session, binary, "no-tray")
    wait_for("the listener", listening_on_2200)
    window = wait_for("the stand-in window",
                      lambda: session.windows("--all", "--onlyvisible", "--pid",
                                              str(program.pid), "--name", "^Falavox©$"))[0]
    session.screenshot("stand-in-window")
    x, y, width, height = session.geometry(window)
    # "&Fechar" is the window's last button.
    session.click(x + width // 2, y + height - 18)
    code = exit_code(program, "the program after the stand-in's &Fechar")
    if code != 0:
        raise Failure(f"the stand-in's &Fechar ended the program with {code}, expected 0")
    wait_for("port 2200 to be free", lambda: not listening_on_2200(), timeout=5)


def check_without_display(session, binary):
    """No display, or one that does not answer: one plain line and code 1, no abort."""
    free = next(n for n in range(200, 300) if not os.path.exists(f"/tmp/.X{n}-lock"))
    for display in (None, f":{free}"):
        env = session.env()
        env.pop("QT_QPA_PLATFORM")
        env.pop("DISPLAY")
        if display:
            env["DISPLAY"] = display
        result = subprocess.run([binary], env=env, capture_output=True, text=True, timeout=20)
        lines = result.stderr.splitlines()
        if result.returncode != 1 or len(lines) != 1 or "display" not in lines[0]:
            raise Failure(f"without display {display}: code {result.returncode}, "
                          f"said {result.stderr!r}")


def bus_processes(display):
    """Session-bus processes (dbus-launch and the daemons it starts) that run for the
    test's display: started on behalf of a program the test ran there."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/comm") as comm:
                name = comm.read().strip()
            if name not in ("dbus-launch", "dbus-daemon"):
                continue
            with open(f"/proc/{entry}/environ", "rb") as environ:
                variables = environ.read().split(b"\0")
        except OSError:
            continue
        if f"DISPLAY={display}".encode() in variables:
            found.append((int(entry), name))
    return found


def check_no_bus_left(session):
    """The program, run without a session bus, started none: nothing is left over."""
    if not shutil.which("dbus-launch"):
        print("no dbus-launch (package dbus-x11): the bus library could not have started a "
              "bus here", file=sys.stderr)
    left = bus_processes(session.display)
    for pid, _ in left:
        try:
            os.kill(pid, 15)
        except OSError:
            pass
    if left:
        raise Failure(f"session-bus processes left behind: {left}")


class Harness:
    """tray_harness in one of its modes, its printed lines collected as they come."""

    def __init__(self, session, path, mode):
        self.lines = []
        self.log = open(os.path.join(session.scratch, f"harness-{mode}.stderr"), "w")
        self.process = session.start([path, mode], env=session.env(), stdout=subprocess.PIPE,
                                     stderr=self.log, text=True, bufsize=1)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))

    def said(self, prefix, containing=""):
        return [line for line in self.lines if line.startswith(prefix) and containing in line]

    def last(self, prefix):
        found = self.said(prefix)
        return found[-1] if found else None


def icon_picture(session, x, y):
    box = f"16x16+{x - 8}+{y - 8}"
    return subprocess.run(["import", "-window", "root", "-crop", box, "rgb:-"],
                          env=session.env(), capture_output=True, timeout=20).stdout


def visible_besides(session, pid, icon):
    return [w for w in session.windows("--onlyvisible", "--pid", str(pid)) if w != icon]


def check_scan_keeps_menu_closed(session, harness_path):
    harness = Harness(session, harness_path, "slow")
    wait_for("the harness", lambda: harness.said("ready"))
    icon, x, y = find_tray_icon(session, harness.process)
    wait_for("the slow scan", lambda: harness.last("hint") == "hint Localizando usuários...")
    session.click(x, y, button=3)
    pictures = set()
    for _ in range(10):
        pictures.add(icon_picture(session, x, y))
        time.sleep(0.12)
    session.screenshot("right-click-during-scan")
    if harness.last("hint") != "hint Localizando usuários...":
        raise Failure("the scan ended before its checks were done")
    if visible_besides(session, harness.process.pid, icon):
        raise Failure("a right click during the scan opened a window")
    if len(pictures) < 3:
        raise Failure(f"the busy icon showed {len(pictures)} different pictures, expected 3+")
    wait_for("the end of the scan", lambda: harness.last("hint") == "hint Falavox©", timeout=30)
    if len(set(icon_picture(session, x, y) for _ in range(3))) != 1:
        raise Failure("the icon still changes after the scan")
    session.click(x, y, button=3)
    wait_for("the tray menu after the scan",
             lambda: visible_besides(session, harness.process.pid, icon))
    session.screenshot("tray-menu-after-scan")
    session.x("xdotool", "key", "Escape")
    session.stop(harness.process)


def check_invitation_from_tray_menu(session, harness_path):
    harness = Harness(session, harness_path, "pair")
    wait_for("the harness", lambda: harness.said("ready"))
    icon, x, y = find_tray_icon(session, harness.process)
    session.click(x, y, button=3)
    wait_for("the tray menu", lambda: visible_besides(session, harness.process.pid, icon))
    # "&Chat" by its letter, down to the second workgroup, into it: copy B is its first
    # computer.
    shown = len(visible_besides(session, harness.process.pid, icon))
    session.x("xdotool", "key", "c")
    wait_for("the Chat submenu",
             lambda: len(visible_besides(session, harness.process.pid, icon)) > shown)
    session.x("xdotool", "key", "Down", "Right")
    wait_for("the second workgroup's submenu",
             lambda: len(visible_besides(session, harness.process.pid, icon)) > shown + 1)
    session.screenshot("chat-submenu")
    session.x("xdotool", "key", "Return")
    dialog = wait_for("copy B's invitation dialog",
                      lambda: session.windows("--onlyvisible", "--name",
                                              "^Convite ao chat do usuário: Ana$"))[0]
    session.screenshot("invitation-from-tray-menu")
    dx, dy, _, _ = session.geometry(dialog)
    time.sleep(1.2)  # the dialog takes no answer in its first second
    session.click(dx + 131, dy + 79)  # "&Aceitar"
    wait_for("both chat windows", lambda: len(session.windows(
        "--onlyvisible", "--name", "^Falavox© - Usuário:")) == 2)
    windows = session.windows("--onlyvisible", "--name", "^Falavox© - Usuário:")
    for index, (window, text) in enumerate(zip(windows, ["primeira linha", "segunda linha"])):
        session.x("xdotool", "windowmove", "--sync", window, str(20 + index * 500), "60")
        wx, wy, ww, wh = session.geometry(window)
        # Keys go to the window under the pointer; its input line has the focus.
        session.x("xdotool", "mousemove", "--sync", str(wx + ww // 2), str(wy + wh // 3))
        session.x("xdotool", "type", "--delay", "30", text)
        session.x("xdotool", "key", "Return")
    for side in ("A:", "B:"):
        wait_for(f"both lines in {side[0]}'s transcript",
                 lambda: harness.said(side, "primeira linha") and
                 harness.said(side, "segunda linha"))
    session.screenshot("chat-from-tray-menu")
    session.stop(harness.process)


def dbus_menu_layout(env, item):
    """The exported menu of a StatusNotifierItem, as gdbus prints it."""
    def call(*argv):
        return subprocess.run(["gdbus", "call", "--session", *argv], env=env,
                              capture_output=True, text=True, timeout=20).stdout
    path = re.search(r"'(/[^']*)'", call("-d", item, "-o", "/StatusNotifierItem", "-m",
                                         "org.freedesktop.DBus.Properties.Get",
                                         "org.kde.StatusNotifierItem", "Menu")).group(1)
    layout = call("-d", item, "-o", path, "-m", "com.canonical.dbusmenu.GetLayout", "--", "0",
                  "-1", "['label', 'icon-data', 'visible']")
    return path, layout


def check_status_notifier_host(session, harness_path):
    if not shutil.which("xfce4-panel"):
        print("no xfce4-panel: StatusNotifierItem host not tested", file=sys.stderr)
        return
    env = session.env()
    env.update(DBUS_SESSION_BUS_ADDRESS=f"unix:path={session.runtime_dir()}/bus",
               NO_AT_BRIDGE="1", XDG_CACHE_HOME=os.path.join(session.scratch, "cache"),
               XDG_DATA_HOME=os.path.join(session.scratch, "data"))
    bus_pid = int(subprocess.run(
        ["dbus-daemon", "--session", "--fork", f"--address={env['DBUS_SESSION_BUS_ADDRESS']}",
         "--print-pid=1"], env=env, capture_output=True, text=True, check=True).stdout)
    panel_log = open(os.path.join(session.scratch, "panel.stderr"), "w")
    panel = session.start(["xfce4-panel", "--disable-wm-check"], env=env,
                          stdout=subprocess.DEVNULL, stderr=panel_log)
    try:
        def watcher_items():
            out = subprocess.run(["gdbus", "call", "--session", "-d",
                                  "org.kde.StatusNotifierWatcher", "-o",
                                  "/StatusNotifierWatcher", "-m",
                                  "org.freedesktop.DBus.Properties.Get",
                                  "org.kde.StatusNotifierWatcher",
                                  "RegisteredStatusNotifierItems"],
                                 env=env, capture_output=True, text=True, timeout=20)
            return out.returncode == 0 and re.findall(r"'(:[0-9.]+)/", out.stdout)

        wait_for("the panel's StatusNotifierWatcher",
                 lambda: subprocess.run(["gdbus", "call", "--session", "-d",
                                         "org.freedesktop.DBus", "-o", "/", "-m",
                                         "org.freedesktop.DBus.NameHasOwner",
                                         "org.kde.StatusNotifierWatcher"], env=env,
                                        capture_output=True, text=True).stdout.startswith(
                                            "(true"), timeout=30)
        log = open(os.path.join(session.scratch, "harness-sni.stderr"), "w")
        program = session.start([harness_path, "slow"], env=env, stdout=subprocess.PIPE,
                                stderr=log, text=True, bufsize=1)
        lines = []
        threading.Thread(target=lambda: [lines.append(l.rstrip("\n")) for l in program.stdout],
                         daemon=True).start()
        item = wait_for("the program's StatusNotifierItem", watcher_items)[0]
        wait_for("the harness", lambda: "ready" in lines)
        wait_for("the slow scan", lambda: lines and lines[-1] == "hint Localizando usuários...")
        _, during = dbus_menu_layout(env, item)
        if "'visible': <true>" in during or "'visible': <false>" not in during:
            raise Failure(f"the exported menu shows items during the scan: {during[:400]}")
        wait_for("the end of the scan", lambda: lines[-1] == "hint Falavox©", timeout=30)
        session.screenshot("status-notifier-host")
        expected = ["_Chat", "ESCRITORIO", "ANA-PC", "BETO-PC", "CAIO-NOTEBOOK", "GRUPO",
                    "RECEPCAO", "SERVIDOR", "local", "notebook-dani", "_Refresh", "_Opções",
                    "_Sobre", "_Fechar"]
        # The toolkit passes a changed submenu on to the bus a moment later.
        for _ in range(50):
            path, after = dbus_menu_layout(env, item)
            labels = re.findall(r"'label': <'([^']*)'>", after)
            if labels == expected:
                break
            time.sleep(0.1)
        if labels != expected:
            raise Failure(f"exported menu {labels}, expected {expected}")
        glyphs = re.findall(r"'icon-data': <\[byte [^>]*>, 'label': <'([^']*)'>", after)
        if glyphs != ["_Chat", "_Refresh", "_Opções", "_Sobre", "_Fechar"]:
            raise Failure(f"items exported with a glyph: {glyphs}")
        # A host about to show the menu has the Chat submenu rebuilt first.
        subprocess.run(["gdbus", "call", "--session", "-d", item, "-o", path, "-m",
                        "com.canonical.dbusmenu.AboutToShow", "0"], env=env,
                       capture_output=True, timeout=20)
        wait_for("the menu's opening in the program", lambda: "menu opened" in lines)
        fechar = re.search(r"\((\d+), \{[^}]*'label': <'_Fechar'>", after).group(1)
        subprocess.run(["gdbus", "call", "--session", "-d", item, "-o", path, "-m",
                        "com.canonical.dbusmenu.Event", "--", fechar, "clicked", "<0>", "0"],
                       env=env, capture_output=True, timeout=20)
        code = exit_code(program, "the program after the host's click on &Fechar")
        if code != 0:
            raise Failure(f"the host's &Fechar ended the program with {code}, expected 0")
    finally:
        session.stop(panel)
        os.kill(bus_pid, 15)


def check_typing_during_invitation(session, binary):
    tools = ("openbox", "xterm", "dunst", "dunstctl")
    if not all(shutil.which(tool) for tool in tools):
        print(f"no {' or '.join(tools)}: typing during an invitation not tested", file=sys.stderr)
        return
    env = session.env()
    env.update(DBUS_SESSION_BUS_ADDRESS=f"unix:path={session.runtime_dir()}/bus-x11",
               NO_AT_BRIDGE="1", XDG_CONFIG_HOME=os.path.join(session.scratch, "config-x11"))
    bus_pid = int(subprocess.run(
        ["dbus-daemon", "--session", "--fork", f"--address={env['DBUS_SESSION_BUS_ADDRESS']}",
         "--print-pid=1"], env=env, capture_output=True, text=True, check=True).stdout)
    started = []

    def start(name, argv):
        log = open(os.path.join(session.scratch, f"{name}.stderr"), "w")
        process = session.start(argv, env=env, stdout=subprocess.DEVNULL, stderr=log)
        started.append(process)
        return process

    def dunst(*argv):
        return subprocess.run(["dunstctl", *argv], env=env, capture_output=True, text=True,
                              timeout=20).stdout.strip()

    # dunst's context menu lists the notifications' actions through a dmenu-like program:
    # this one picks "Aceitar", as a user would.
    picker = os.path.join(session.scratch, "pick-aceitar")
    with open(picker, "w") as script:
        script.write("#!/bin/sh\ngrep -m1 Aceitar\n")
    os.chmod(picker, 0o755)
    dunstrc = os.path.join(session.scratch, "dunstrc")
    with open(dunstrc, "w") as config:
        config.write(f"[global]\n    dmenu = {picker}\n")

    try:
        start("openbox", ["openbox"])
        start("dunst", ["dunst", "-config", dunstrc])
        # Asked of the bus itself: a call to the service before dunst holds its name would
        # have the bus start another dunst, with the default configuration.
        wait_for("dunst", lambda: subprocess.run(
            ["gdbus", "call", "--session", "-d", "org.freedesktop.DBus", "-o", "/", "-m",
             "org.freedesktop.DBus.NameHasOwner", "org.freedesktop.Notifications"], env=env,
            capture_output=True, text=True, timeout=20).stdout.startswith("(true"))
        program = start("typing-falavox", [binary])
        wait_for("the listener", listening_on_2200)
        typed = os.path.join(session.scratch, "typed.txt")
        start("xterm", ["xterm", "-title", "terminal", "-e", "sh", "-c", f"cat > {typed}"])
        terminal = wait_for("the terminal", lambda: session.windows("--onlyvisible", "--name",
                                                                    "^terminal$"))[0]
        session.x("xdotool", "windowactivate", "--sync", terminal)
        caller = socket.create_connection(("127.0.0.1", PORT), timeout=10)
        caller.sendall("<%$#Ana>Vamos conversar?\r\n".encode("cp1252"))
        dialog = wait_for("the invitation dialog", lambda: session.windows(
            "--onlyvisible", "--name", "^Convite ao chat do usuário: Ana$"))[0]
        # Typed by someone who has not seen the dialog: the letters that answered it once.
        session.x("xdotool", "type", "--delay", "60", "banana aiai")
        session.x("xdotool", "key", "Return")
        wait_for("the typing in the terminal",
                 lambda: os.path.exists(typed) and "banana aiai" in open(typed).read())
        wait_for("the notification", lambda: dunst("count", "displayed") == "1")
        session.screenshot("typing-while-invited-x11")
        focused = session.x("xdotool", "getwindowfocus").strip()
        if focused != terminal:
            raise Failure(f"the dialog took the keyboard from the terminal ({focused})")
        caller.setblocking(False)
        try:
            early = caller.recv(100)
        except BlockingIOError:
            early = None
        if early is not None:
            raise Failure(f"typing answered the invitation: {early!r}")
        time.sleep(1.2)  # the dialog takes no answer in its first second
        # Relative to the dialog: under a window manager its frame moves it on the screen.
        session.x("xdotool", "mousemove", "--window", dialog, "131", "79", "sleep", "0.2",
                  "click", "1")  # "&Aceitar"
        caller.settimeout(10)
        answer = caller.recv(100)
        if not answer.startswith(b"Status> Green Ligth"):
            raise Failure(f"the click on &Aceitar sent {answer!r}")
        wait_for("the notification withdrawn", lambda: dunst("count", "displayed") == "0")
        caller.close()
        session.screenshot("accepted-x11")
        # The notification's "Aceitar" is deliberate: taken also in the dialog's first
        # second, when its own buttons take nothing.
        caller = socket.create_connection(("127.0.0.1", PORT), timeout=10)
        caller.sendall("<%$#Ana>De novo?\r\n".encode("cp1252"))
        wait_for("the second invitation dialog", lambda: session.windows(
            "--onlyvisible", "--name", "^Convite ao chat do usuário: Ana$"))
        shown = time.monotonic()
        wait_for("the second notification", lambda: dunst("count", "displayed") == "1")
        dunst("context")
        answered_after = time.monotonic() - shown
        caller.settimeout(10)
        answer = caller.recv(100)
        if not answer.startswith(b"Status> Green Ligth"):
            raise Failure(f"the notification's Aceitar sent {answer!r}")
        print(f"the notification's Aceitar {answered_after:.2f} s after the dialog appeared",
              file=sys.stderr)
        caller.close()
        # Over a full-screen window the notification is still seen, and a click on its
        # body (dunst's default action) brings the dialog forward with the keyboard.
        start("xterm-full", ["xterm", "-fullscreen", "-title", "full screen", "-e", "sleep",
                             "60"])
        full = wait_for("the full-screen terminal", lambda: session.windows(
            "--onlyvisible", "--name", "^full screen$"))[0]
        session.x("xdotool", "windowactivate", "--sync", full)
        time.sleep(0.5)
        caller = socket.create_connection(("127.0.0.1", PORT), timeout=10)
        caller.sendall("<%$#Ana>Está aí?\r\n".encode("cp1252"))
        wait_for("the notification over the full-screen terminal",
                 lambda: dunst("count", "displayed") == "1")
        dialog = wait_for("the third invitation dialog", lambda: session.windows(
            "--onlyvisible", "--name", "^Convite ao chat do usuário: Ana$"))[0]
        session.screenshot("invitation-over-full-screen-x11")
        dunst("action", "0")
        wait_for("the dialog brought forward", lambda: session.x(
            "xdotool", "getactivewindow", check=False).strip() == dialog)
        session.screenshot("brought-forward-x11")
        caller.close()
        session.stop(program)
    finally:
        for process in reversed(started):
            session.stop(process)
        os.kill(bus_pid, 15)


def main():
    if len(sys.argv) != 3:
        print("usage: whole_program.py FALAVOX_BINARY TRAY_HARNESS", file=sys.stderr)
        return 2
    binary = os.path.abspath(sys.argv[1])
    harness = os.path.abspath(sys.argv[2])
    code = own_network_namespace(__file__)
    if code is not None:
        return code

    base = os.environ.get("FALAVOX_TEST_TMP") or tempfile.mkdtemp(prefix="falavox-whole-")
    shutil.rmtree(base, ignore_errors=True)
    os.makedirs(base)
    session = Session(base)
    try:
        session.start_xvfb()
        run_with_tray(session, binary)
        tray = start_trayer(session)
        check_scan_keeps_menu_closed(session, harness)
        check_invitation_from_tray_menu(session, harness)
        session.stop(tray)
        run_without_tray(session, binary)
        check_without_display(session, binary)
        check_no_bus_left(session)
        check_status_notifier_host(session, harness)
        check_typing_during_invitation(session, binary)
    except Failure as failure:
        session.screenshot("failure")
        report_failure(failure, base, [
            os.path.join(base, f"{name}.stderr")
            for name in ("trayer", "first", "second", "no-tray", "harness-slow", "harness-pair",
                         "harness-sni", "panel", "typing-falavox", "dunst")])
        return 1
    finally:
        session.stop_all()
    print(f"whole program: passed (screenshots in {base})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
