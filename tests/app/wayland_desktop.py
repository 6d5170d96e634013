#!/usr/bin/env python3
"""Runs the real falavox program on a Wayland desktop: sway, headless, with waybar's tray
and mako's notifications on a private session bus, everything as an unprivileged user
and in a network namespace of the test's own.

In order: without a tray the stand-in window shows; waybar started afterwards takes over
(the icon is registered, its menu read from the bus, the window gone). An invitation
arrives while the user types in a terminal: the letters answer nothing. Its notification
carries the caller, the text, "Aceitar" and "Ignorar", and mako's "Aceitar" accepts. A
second invitation arrives over a full-screen terminal that keeps the keyboard; its
notification is withdrawn when the dialog times out. Last, "&Fechar" from the exported
menu ends the program with 0.

Needs root (the namespace, and a user to drop to) and the desktop's programs; skipped
(77) otherwise. Screenshots of every step are left in the scratch folder.
"""

import json
import os
import pwd
import re
import subprocess
import sys
import time

# The shared helpers are imported from beside this test; no compiled copies are left there.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from user_desktop import (ACCEPTANCE, INVITATION, REFUSAL, Caller, UserDesktop,  # noqa: E402
                          copy_programs, enter_test, scratch_folder)
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "platform"))
from neighbourhood_real import reachable_by_anyone  # noqa: E402
from whole_program import Failure, report_failure, wait_for  # noqa: E402

TOOLS = ("sway", "swaymsg", "waybar", "mako", "makoctl", "grim", "wtype", "foot",
         "dbus-daemon", "dbus-monitor", "gdbus", "setpriv", "unshare", "ip")
WAYLAND_PLUGIN = "/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so"


class Desktop(UserDesktop):
    """sway with waybar and mako, run as `user`."""

    def __init__(self, scratch, user):
        super().__init__(scratch, user)
        self.sway_socket = None

    def desktop_env(self):
        env = {"WAYLAND_DISPLAY": "wayland-1"}
        if self.sway_socket:
            env["SWAYSOCK"] = self.sway_socket
        return env

    def start_session(self):
        self.start_bus("--session", f"--address=unix:path={self.runtime}/bus")
        config = os.path.join(self.scratch, "sway.conf")
        with open(config, "w") as f:
            f.write("output HEADLESS-1 resolution 1280x800\n")
        self.start("sway", ["sway", "-c", config], WLR_BACKENDS="headless",
                   WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman")
        wait_for("sway's Wayland socket",
                 lambda: os.path.exists(os.path.join(self.runtime, "wayland-1")))
        self.sway_socket = wait_for("sway's command socket", lambda: next(
            (os.path.join(self.runtime, n) for n in os.listdir(self.runtime)
             if n.startswith("sway-ipc.")), None))
        # As a user who runs programs full screen sets it: urgent notifications on the
        # layer above full-screen windows (mako's default layer is below them).
        mako_config = os.path.join(self.home, ".config", "mako")
        os.makedirs(mako_config)
        with open(os.path.join(mako_config, "config"), "w") as f:
            f.write("[urgency=critical]\nlayer=overlay\n")
        for folder in (os.path.dirname(mako_config), mako_config):
            os.chown(folder, self.user.pw_uid, self.user.pw_gid)
        self.start("mako", ["mako"])
        # The program's notification calls, as the bus carries them.
        self.start("notify-calls", ["dbus-monitor", "--session",
                                    "interface='org.freedesktop.Notifications',member='Notify'"])
        wait_for("mako", lambda: self.has_owner("org.freedesktop.Notifications"))

    def screenshot(self, name):
        inside = os.path.join(self.runtime, "shot.png")
        self.run("grim", inside, check=False)
        self.keep_screenshot(inside, name)

    def windows(self):
        """(name, app_id, focused, fullscreen) of every window sway shows."""
        tree = json.loads(self.run("swaymsg", "-t", "get_tree", "-r"))
        found = []

        def walk(node):
            if node.get("type") in ("con", "floating_con") and node.get("pid"):
                found.append((node.get("name") or "", node.get("app_id") or "",
                              node.get("focused"), node.get("fullscreen_mode") == 1))
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)
        walk(tree)
        return found

    def window(self, name):
        return next((w for w in self.windows() if w[0] == name), None)

    def notifications(self):
        listed = json.loads(self.run("makoctl", "list"))
        return listed["data"][0] if listed.get("data") else []


def watcher_items(desktop):
    out = desktop.gdbus("-d", "org.kde.StatusNotifierWatcher", "-o", "/StatusNotifierWatcher",
                        "-m", "org.freedesktop.DBus.Properties.Get",
                        "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems")
    return re.findall(r"'(:[0-9.]+)/", out)


def exported_menu(desktop, item):
    menu = re.search(r"'(/[^']*)'", desktop.gdbus(
        "-d", item, "-o", "/StatusNotifierItem", "-m", "org.freedesktop.DBus.Properties.Get",
        "org.kde.StatusNotifierItem", "Menu"))
    if not menu:
        raise Failure(f"the icon {item} exports no menu")
    path = menu.group(1)
    return path, desktop.gdbus("-d", item, "-o", path, "-m", "com.canonical.dbusmenu.GetLayout",
                               "--", "0", "-1", "['label']")


def check_tray_comes_late(desktop, binary):
    program = desktop.start("falavox", [binary], QT_QPA_PLATFORM="wayland")
    wait_for("the stand-in window", lambda: desktop.window("Falavox©"))
    desktop.screenshot("stand-in-window-without-tray")
    if watcher_items(desktop):
        raise Failure("an icon is registered with no tray running")

    waybar_config = os.path.join(desktop.home, ".config", "waybar")
    os.makedirs(waybar_config)
    with open(os.path.join(waybar_config, "config"), "w") as f:
        json.dump({"layer": "top", "position": "top", "height": 28,
                   "modules-left": ["sway/workspaces"], "modules-right": ["tray", "clock"],
                   "tray": {"icon-size": 18, "spacing": 6}}, f)
    os.chown(waybar_config, desktop.user.pw_uid, desktop.user.pw_gid)
    desktop.start("waybar", ["waybar"])
    item = wait_for("the icon registered with waybar's tray", lambda: watcher_items(desktop),
                    timeout=30)[0]
    wait_for("the stand-in window to go", lambda: not desktop.window("Falavox©"))
    _, layout = exported_menu(desktop, item)
    labels = re.findall(r"'label': <'([^']*)'>", layout)
    for expected in ("_Chat", "_Refresh", "_Opções", "_Sobre", "_Fechar"):
        if expected not in labels:
            raise Failure(f"exported menu {labels} lacks {expected}")
    desktop.screenshot("icon-in-waybar")
    return program


def check_typing_and_notification(desktop):
    desktop.start("terminal", ["foot", "-a", "terminal", "sh", "-c",
                               f"cat > {desktop.runtime}/typed.txt"])
    wait_for("the terminal", lambda: next((w for w in desktop.windows()
                                           if w[1] == "terminal" and w[2]), None))
    caller = Caller("Vamos conversar?")
    dialog = wait_for("the invitation dialog", lambda: desktop.window(INVITATION))
    notice = wait_for("the invitation's notification", lambda: desktop.notifications())
    # The user did not look up: the letters that answered the dialog before reach it now.
    desktop.run("wtype", "-s", "150", "banana aiai")
    time.sleep(1.5)
    desktop.screenshot("typing-while-invited")
    if caller.read():
        raise Failure(f"typing answered the invitation: {caller.received!r}")
    if not desktop.window(INVITATION):
        raise Failure("typing closed the invitation dialog")
    print(f"typing went to the {'dialog' if desktop.window(INVITATION)[2] else 'terminal'}",
          file=sys.stderr)

    n = notice[0]
    if n["summary"]["data"] != INVITATION or n["body"]["data"] != "Vamos conversar?":
        raise Failure(f"notification texts {n['summary']} {n['body']}")
    actions = n["actions"]["data"]
    if actions.get("aceitar") != "Aceitar" or actions.get("ignorar") != "Ignorar" or \
            "default" not in actions:
        raise Failure(f"notification actions {actions}")
    # Critical: mako's rule for critical notifications is what lifts it above full-screen
    # windows. mako does not list the urgency: it is read from the call on the bus.
    calls = os.path.join(desktop.scratch, "notify-calls.log")
    wait_for("the notification's urgency on the bus",
             lambda: re.search(r'string "urgency"\s+variant\s+byte (\d+)', open(calls).read()))
    urgency = re.search(r'string "urgency"\s+variant\s+byte (\d+)', open(calls).read())[1]
    if urgency != "2":
        raise Failure(f"notification urgency {urgency}, expected critical (2)")
    desktop.run("makoctl", "invoke", "-n", str(n["id"]["data"]), "aceitar")
    wait_for("the acceptance at the caller", lambda: ACCEPTANCE in caller.read())
    wait_for("the chat window", lambda: any(w[0].startswith("Falavox© - Usuário:")
                                            for w in desktop.windows()))
    wait_for("the dialog to close", lambda: not desktop.window(INVITATION))
    wait_for("the notification to go", lambda: not desktop.notifications())
    desktop.screenshot("accepted-from-notification")
    caller.close()
    del dialog


def check_time_out_over_full_screen(desktop):
    desktop.run("swaymsg", "[app_id=terminal] focus, fullscreen enable")
    caller = Caller("Está aí?")
    wait_for("the second invitation dialog", lambda: desktop.window(INVITATION))
    wait_for("its notification", lambda: desktop.notifications())
    terminal = next(w for w in desktop.windows() if w[1] == "terminal")
    if not (terminal[2] and terminal[3]):
        raise Failure(f"the full-screen terminal lost the keyboard: {desktop.windows()}")
    desktop.screenshot("invitation-over-full-screen")
    wait_for("the refusal at the time-out", lambda: REFUSAL in caller.read(), timeout=40)
    wait_for("the notification withdrawn", lambda: not desktop.notifications(), timeout=5)
    caller.close()


def check_fechar(desktop, program):
    # The icon left the tray while each dialog was up and registered again afterwards.
    item = wait_for("the icon back in the tray", lambda: watcher_items(desktop))[0]
    path, layout = exported_menu(desktop, item)
    fechar = re.search(r"\((\d+), \{[^}]*'label': <'_Fechar'>", layout)
    if not fechar:
        raise Failure(f"no &Fechar in the exported menu: {layout[:600]}")
    fechar = fechar.group(1)
    desktop.gdbus("-d", item, "-o", path, "-m", "com.canonical.dbusmenu.Event", "--", fechar,
                  "clicked", "<0>", "0")
    try:
        code = program.wait(timeout=20)
    except subprocess.TimeoutExpired:
        raise Failure("&Fechar from waybar's menu did not end the program")
    if code != 0:
        raise Failure(f"&Fechar ended the program with {code}, expected 0")


def main():
    missing = [] if os.path.exists(WAYLAND_PLUGIN) else ["qt6-wayland"]
    binary, code = enter_test(__file__, TOOLS, missing)
    if binary is None:
        return code
    base = scratch_folder("falavox-wayland-")
    if not reachable_by_anyone(binary):
        # The unprivileged user cannot enter the build tree: the program runs from a copy.
        binary = copy_programs(binary, base)
    desktop = Desktop(base, pwd.getpwnam("nobody"))
    try:
        desktop.start_session()
        program = check_tray_comes_late(desktop, binary)
        check_typing_and_notification(desktop)
        check_time_out_over_full_screen(desktop)
        check_fechar(desktop, program)
    except Failure as failure:
        desktop.screenshot("failure")
        report_failure(failure, base, [os.path.join(base, f"{name}.log")
                                       for name in ("falavox", "sway", "waybar", "mako")])
        return 1
    finally:
        desktop.stop_all()
    print(f"wayland desktop: passed (screenshots in {base})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
