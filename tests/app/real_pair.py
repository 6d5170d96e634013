#!/usr/bin/env python3
"""Two real copies of the program find and invite each other, with nothing scripted.

  fncA (ana-pc) --veth 10.249.1.0/24-- fncB (beto-pc)

Each namespace has its own system bus and avahi-daemon, and runs the real falavox binary
with a host name of its own; no DNS server knows either name. Both tray icons sit in one
trayer on one Xvfb (the X socket reaches into the namespaces). Copy A's tray menu is
followed through "&Chat" and "local" to B's host, which is listed there because B
announces itself through its Avahi daemon; the invitation's lookup finds B's address
through Avahi too. B's invitation dialog is accepted, a line is typed in each chat
window, and both transcripts are read back through the X selection. Last, "&Fechar" in
each tray menu ends each copy with code 0.

Needs root and the daemons; skipped (77) otherwise. Everything runs inside namespaces the
test makes, ended by PID; the namespaces are removed at the end. Screenshots of every
step are left in the scratch folder.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# The helpers are imported from beside the tests; no compiled copies are left there.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(HERE, "..", "platform"))
import neighbourhood_real as daemons  # noqa: E402
import whole_program as desktop  # noqa: E402

SKIP = 77
PORT = 2200
TOOLS = ("ip", "unshare", "dbus-daemon", "dbus-send", "avahi-daemon", "Xvfb", "trayer",
         "xdotool", "xclip", "import", "ss")
USER = "Root"  # the user name both copies show, run as root


class Copy:
    """One machine: its namespace, host name, address and the falavox running there."""

    def __init__(self, namespace, host, interface, address):
        self.namespace, self.host = namespace, host
        self.interface, self.address = interface, address
        self.bus = None
        self.process = None

    def listening(self):
        out = subprocess.run(["ip", "netns", "exec", self.namespace, "ss", "-Hltn",
                              f"sport = :{PORT}"], capture_output=True, text=True).stdout
        return out.strip()


ANA = Copy("fncA", "ana-pc", "fnca0", "10.249.1.1")
BETO = Copy("fncB", "beto-pc", "fncb0", "10.249.1.2")
COPIES = (ANA, BETO)
# The daemons' helpers clean up the namespaces named here.
daemons.NAMESPACES = tuple(copy.namespace for copy in COPIES)
Failures = (daemons.Failure, desktop.Failure, subprocess.TimeoutExpired)


def join(first, second):
    """Two machines' namespaces, each with its loopback up, joined by a veth pair between
    their interfaces, each with its address on the /24."""
    copies = (first, second)
    for copy in copies:
        daemons.run("ip", "netns", "add", copy.namespace)
        daemons.run("ip", "-n", copy.namespace, "link", "set", "lo", "up")
    daemons.run("ip", "link", "add", first.interface, "netns", first.namespace, "type", "veth",
                "peer", "name", second.interface, "netns", second.namespace)
    for copy in copies:
        daemons.run("ip", "-n", copy.namespace, "addr", "add", f"{copy.address}/24", "brd",
                    "+", "dev", copy.interface)
        daemons.run("ip", "-n", copy.namespace, "link", "set", copy.interface, "up")


def start_copy(session, copy):
    """The real program in the copy's namespace, under a host name of its own (the
    namespaces share the machine's otherwise), reaching the namespace's Avahi daemon
    through its system bus."""
    home = os.path.join(session.scratch, copy.namespace, "home")
    os.makedirs(home, exist_ok=True)
    env = session.env()
    env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
               DBUS_SYSTEM_BUS_ADDRESS=copy.bus)
    log = open(os.path.join(session.scratch, f"{copy.host}.stderr"), "w")
    # ip netns exec and unshare both exec, so the process is falavox itself.
    copy.process = session.start(
        ["ip", "netns", "exec", copy.namespace, "unshare", "--uts", "sh", "-c",
         f"hostname {copy.host} && exec \"$0\"", session.binary],
        env=env, stdout=subprocess.DEVNULL, stderr=log)
    desktop.wait_for(f"{copy.host} listening on {PORT}", copy.listening, timeout=30)


def menus_of(session, copy, icon):
    return desktop.visible_besides(session, copy.process.pid, icon)


def open_local_submenu(session, icon, x, y):
    """Right click on A's icon, "&Chat", then into its first domain, "local" (no SMB
    master is on this network, so the DNS-SD domain is the only one). Returns the open
    menu windows, the computers' one last."""
    session.click(x, y, button=3)
    desktop.wait_for("A's tray menu", lambda: menus_of(session, ANA, icon))
    # The menus open over the icon; a pointer left there would pick the row under it.
    session.x("xdotool", "mousemove", "500", "600")
    session.x("xdotool", "key", "c")
    desktop.wait_for("the Chat submenu", lambda: len(menus_of(session, ANA, icon)) >= 2)
    session.x("xdotool", "key", "Right")
    return desktop.wait_for("the computers of local",
                            lambda: (lambda shown: shown if len(shown) >= 3 else None)(
                                menus_of(session, ANA, icon)))


def invitation_dialogs(session, copy):
    # --all: without it xdotool lists the windows that match either condition.
    return session.windows("--all", "--onlyvisible", "--pid", str(copy.process.pid), "--name",
                           f"^Convite ao chat do usuário: {USER}$")


def invite_beto(session):
    """Picks B's host in A's "local" submenu. The submenu lists both hosts (A announces
    itself too) in the order the network answered, so the rows are tried in turn until B
    shows an invitation; a row that was A's own host leaves A's chat window saying so
    (A is busy with itself), and that window is left with "Sair do chat"."""
    icon, x, y = desktop.find_tray_icon(session, ANA.process)
    # A scan that began before B announced itself misses B: "&Refresh" until it is there.
    for _ in range(3):
        _, _, _, height = session.geometry(open_local_submenu(session, icon, x, y)[-1])
        rows = height // 22  # the toolkit's menu rows, 22 pixels with its default font
        if rows >= 2:
            break
        session.x("xdotool", "key", "Escape", "Escape", "Escape")
        session.click(x, y, button=3)
        desktop.wait_for("A's tray menu", lambda: menus_of(session, ANA, icon))
        session.x("xdotool", "key", "r")
        time.sleep(3)
    session.screenshot("chat-submenu-local")
    for row in range(rows):
        if row:
            open_local_submenu(session, icon, x, y)
        session.x("xdotool", "key", *(["Down"] * row), "Return")
        try:
            return desktop.wait_for("B's invitation dialog",
                                    lambda: invitation_dialogs(session, BETO), timeout=10)
        except desktop.Failure:
            window = chat_window(session, ANA)
            if f"({ANA.host.capitalize()})" not in transcript(session, window):
                raise
            session.screenshot(f"row-{row}-is-{ANA.host}")
            wx, wy, _, _ = session.geometry(window)
            session.click(wx + 52, wy + 45)  # "Sair do chat"
            desktop.wait_for("A's chat window to close", lambda: not session.windows(
                "--all", "--onlyvisible", "--pid", str(ANA.process.pid), "--name",
                "^Falavox© - Usuário:"), timeout=10)
    raise desktop.Failure(f"no row of A's local submenu ({rows}) invited {BETO.host}")


def accept_invitation(session):
    """Clicks "&Aceitar" in B's dialog until the dialog goes. The dialog takes no answer in
    its first second, and the toolkit may replace its window once while showing it, so the
    window is looked up again for every try."""
    clicked = False
    for _ in range(10):
        time.sleep(0.5)
        shown = invitation_dialogs(session, BETO)
        if not shown:
            if clicked:
                return
            raise desktop.Failure("B's invitation dialog went away unanswered")
        try:
            dx, dy, _, _ = session.geometry(shown[-1])
        except desktop.Failure:
            continue
        if not clicked:
            session.screenshot("invitation-in-beto-pc")
        session.click(dx + 131, dy + 79)  # "&Aceitar"
        clicked = True
    raise desktop.Failure("B's invitation dialog took no click on \"&Aceitar\"")


def chat_window(session, copy):
    return desktop.wait_for(f"{copy.host}'s chat window", lambda: session.windows(
        "--all", "--onlyvisible", "--pid", str(copy.process.pid), "--name",
        f"^Falavox© - Usuário: {USER}$"), timeout=15)[0]


def transcript(session, window):
    """The transcript's text, selected with the pointer and read back from the X
    selection (the transcript is read-only, so a drag is the user's way to take it). The
    transcript starts below the menu and the tool bar, at the window's left."""
    x, y, _, _ = session.geometry(window)
    session.x("xdotool", "mousemove", str(x + 6), str(y + 84), "mousedown", "1",
              "mousemove", str(x + 200), str(y + 200), "mousemove", str(x + 380),
              str(y + 300), "mouseup", "1")
    time.sleep(0.3)
    return session.x("xclip", "-o", "-selection", "primary", check=False)


def chat_both_ways(session):
    lines = {ANA.host: "bom dia de ana-pc", BETO.host: "oi, aqui beto-pc"}
    windows = {}
    for index, copy in enumerate(COPIES):
        window = windows[copy.host] = chat_window(session, copy)
        # Side by side, so that each transcript can be selected with the pointer.
        session.x("xdotool", "windowmove", "--sync", window, str(index * 497), "60")
        wx, wy, ww, wh = session.geometry(window)
        # Keys go to the window under the pointer; its input line has the focus.
        session.x("xdotool", "mousemove", "--sync", str(wx + ww // 2), str(wy + wh // 3))
        session.x("xdotool", "type", "--delay", "30", lines[copy.host])
        session.x("xdotool", "key", "Return")
    for copy in COPIES:
        text = desktop.wait_for(f"both lines in {copy.host}'s transcript",
                                lambda: (lambda t: t if all(l in t for l in lines.values())
                                         else None)(transcript(session, windows[copy.host])),
                                timeout=10)
        print(f"{copy.host}'s transcript: {text!r}")
    session.screenshot("chat-both-ways")


def close_both(session):
    """"&Fechar" from each copy's tray menu, with its chat still open: each ends with
    code 0 (under the sanitizers, also having found nothing wrong on the way out)."""
    for copy in COPIES:
        icon, x, y = desktop.find_tray_icon(session, copy.process)
        session.click(x, y, button=3)
        desktop.wait_for(f"{copy.host}'s tray menu", lambda: menus_of(session, copy, icon))
        session.x("xdotool", "mousemove", "500", "600")
        session.x("xdotool", "key", "f")
        code = desktop.exit_code(copy.process, f"{copy.host} after &Fechar", timeout=30)
        if code != 0:
            raise desktop.Failure(f"{copy.host} ended with {code} after &Fechar")


def run_in_namespaces(title, prefix, tools, copies, scenario):
    """What the real tests of two copies share around their scenario: the tools checked
    (skipped without them or root), a scratch folder, a desktop session for the program
    named on the command line, the namespaces' turn held and the namespaces left over
    from an earlier run removed; then `scenario(session, scratch)`, a failure reported
    with a screenshot and each copy's error output, and everything stopped and removed
    whatever happened."""
    if len(sys.argv) != 2:
        print(f"usage: {os.path.basename(sys.argv[0])} FALAVOX_BINARY", file=sys.stderr)
        return 2
    missing = [tool for tool in tools if not shutil.which(tool)]
    if os.geteuid() != 0 or missing:
        print(f"skipped: needs root and {', '.join(missing) or 'network namespaces'}",
              file=sys.stderr)
        return SKIP
    scratch = os.environ.get("FALAVOX_TEST_TMP") or tempfile.mkdtemp(prefix=f"{prefix}-")
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    os.chmod(scratch, 0o755)
    session = desktop.Session(scratch)
    session.binary = os.path.abspath(sys.argv[1])
    turn = daemons.hold_namespaces(prefix)  # noqa: F841 (held until the run ends)
    daemons.remove_namespaces()
    try:
        scenario(session, scratch)
    except Failures as failure:
        if session.display:
            session.screenshot("failure")
        print(f"FAILED: {failure} (screenshots and logs in {scratch})", file=sys.stderr)
        for copy in copies:
            path = os.path.join(scratch, f"{copy.host}.stderr")
            if os.path.exists(path):
                print(f"--- {copy.host} stderr ---\n{open(path).read()}", file=sys.stderr)
        return 1
    finally:
        session.stop_all()
        daemons.remove_namespaces()
    print(f"{title}: passed (screenshots in {scratch})")
    return 0


def scenario(session, scratch):
    join(ANA, BETO)
    # Only Avahi can give A the address of B's name: the system's resolver cannot.
    if subprocess.run(["ip", "netns", "exec", ANA.namespace, "getent", "ahostsv4",
                       BETO.host], capture_output=True, timeout=30).returncode == 0:
        raise daemons.Failure(f"the system resolver knows {BETO.host} already")
    for copy in COPIES:
        copy.bus = daemons.start_avahi(scratch, copy.namespace, copy.host, copy.interface)
    session.start_xvfb()
    desktop.start_trayer(session)
    # B first, so that its announcement is on the network when A's first scan asks.
    start_copy(session, BETO)
    start_copy(session, ANA)
    invite_beto(session)
    accept_invitation(session)
    chat_both_ways(session)
    close_both(session)


def main():
    return run_in_namespaces("real pair", "fnc", TOOLS, COPIES, scenario)


if __name__ == "__main__":
    sys.exit(main())
