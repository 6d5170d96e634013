#!/usr/bin/env python3
"""Runs the real falavox program on GNOME: gnome-shell 43 headless on Wayland, as an
unprivileged user with a system bus and a session bus of its own, in a network namespace of
the test's own. The program runs through XWayland there, under GNOME's own title bars.

In order: without the tray extension the stand-in window shows, its title whole and no
maximise button; with the extension turned on (AppIndicator/KStatusNotifierItem) the icon
is in the top bar and the window gone. An invitation shows the dialog in the middle of the
screen with only a close button, and a critical notification with the program's icon and
"Aceitar" and "Ignorar"; its "Aceitar" half a second after the dialog appeared accepts
(the dialog's own buttons take nothing then), and so it does a second and a half after.
A third invitation's notification clicked on its body brings the dialog forward with the
keyboard and answers nothing.

The shell is driven through its own interfaces: windows, notifications and the top bar
through org.gnome.Shell.Eval (the shell runs with --unsafe-mode, which opens it to tests),
screenshots through org.gnome.Shell.Screenshot. Needs root (the namespace, and a user to
drop to) and gnome-shell, gjs, xwayland and gnome-shell-extension-appindicator; skipped
(77) otherwise. Screenshots of every step are left in the scratch folder.
"""

import json
import os
import pwd
import shutil
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from user_desktop import (ACCEPTANCE, INVITATION, PORT, Caller, UserDesktop,  # noqa: E402
                          copy_programs, enter_test, scratch_folder)
from whole_program import Failure, report_failure, wait_for  # noqa: E402

TOOLS = ("gnome-shell", "gjs", "Xwayland", "dbus-daemon", "gdbus", "setpriv", "unshare", "ip", "ss")
EXTENSION = "ubuntu-appindicators@ubuntu.com"
EXTENSION_DIR = f"/usr/share/gnome-shell/extensions/{EXTENSION}"

# Every window of the shell: title, whether X11 (1) or Wayland (0), frame, can it be
# maximised, does GNOME draw its title bar, has it the keyboard.
WINDOWS_JS = """global.get_window_actors().map(a => a.meta_window)
    .filter(w => w.get_title() && w.get_title() !== 'gnome-shell')
    .map(w => { const r = w.get_frame_rect(); return {title: w.get_title(),
        x11: w.get_client_type() === 1, x: r.x, y: r.y, width: r.width, height: r.height,
        maximizable: w.can_maximize(), decorated: w.decorated,
        focused: global.display.focus_window === w}; })"""
# The program's notifications: title, urgency (3 is critical), icon, actions.
NOTIFICATIONS_JS = """Main.messageTray.getSources().flatMap(s => s.notifications)
    .filter(n => n.title.startsWith('Convite'))
    .map(n => ({title: n.title, body: n.bannerBodyText, urgency: n.urgency,
        icon: n.gicon ? n.gicon.to_string() : null, actions: n.actions.map(a => a.label)}))"""


class Shell(UserDesktop):
    """gnome-shell, its own system bus and the program, run as `user`."""

    def __init__(self, scratch, user):
        super().__init__(scratch, user)
        self.x11 = {}

    def desktop_env(self):
        return {
            "XDG_CURRENT_DESKTOP": "GNOME",
            "XDG_SESSION_TYPE": "wayland",
            "DBUS_SYSTEM_BUS_ADDRESS": f"unix:path={self.runtime}/system_bus",
            # Settings live only as long as the shell: nothing of the user's is read.
            "GSETTINGS_BACKEND": "memory",
        }

    def eval(self, js):
        """The value of `js` in the shell (which hands it back as JSON)."""
        out = self.gdbus("-d", "org.gnome.Shell", "-o", "/org/gnome/Shell", "-m",
                         "org.gnome.Shell.Eval", js)
        ok, _, value = out.partition(", ")
        if ok != "(true" or not value.startswith("'"):
            raise Failure(f"the shell could not evaluate {js[:60]!r}: {out}")
        return json.loads(value[1:-2].encode().decode("unicode_escape").encode("latin-1")
                          .decode("utf-8") or "null")

    def start_session(self):
        config = os.path.join(self.scratch, "system.conf")
        with open(config, "w") as f:
            f.write(f"""<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>system</type><listen>unix:path={self.runtime}/system_bus</listen>
<auth>EXTERNAL</auth><policy context="default"><allow user="*"/><allow own="*"/>
<allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/></policy></busconfig>
""")
        # Without a system bus the shell stops at its login manager.
        self.start_bus(f"--config-file={config}")
        self.start_bus("--session", f"--address=unix:path={self.runtime}/bus")
        self.start("gnome-shell", ["gnome-shell", "--headless", "--virtual-monitor", "1280x800",
                                   "--wayland", "--unsafe-mode"])
        wait_for("the shell", lambda: self.has_owner("org.gnome.Shell.Screenshot"), timeout=90)
        wait_for("the shell's start-up", lambda: self.eval("Main.layoutManager._startingUp")
                 is False, timeout=60)
        # A new session opens in the Overview, with the shell's own notice of a missing
        # screen lock: the desktop a user returns to has neither.
        self.eval("(Main.overview.hide(), "
                  "Main.messageTray.getSources().forEach(s => s.destroy()), true)")
        wait_for("the desktop", lambda: self.eval("Main.overview.visible") is False)
        self.x11 = {"DISPLAY": self.eval("imports.gi.GLib.getenv('DISPLAY')"),
                    "XAUTHORITY": self.eval("imports.gi.GLib.getenv('XAUTHORITY')")}

    def screenshot(self, name):
        inside = os.path.join(self.runtime, "shot.png")
        self.gdbus("-d", "org.gnome.Shell.Screenshot", "-o", "/org/gnome/Shell/Screenshot",
                   "-m", "org.gnome.Shell.Screenshot.Screenshot", "false", "false", inside)
        self.keep_screenshot(inside, name)

    def windows(self):
        return self.eval(WINDOWS_JS)

    def window(self, title):
        return next((w for w in self.windows() if w["title"] == title), None)

    def notifications(self):
        return self.eval(NOTIFICATIONS_JS)

    def answer_notification(self, label):
        """What a click on one of the notification's buttons does: its action, then the
        notification goes."""
        self.eval(f"""Main.messageTray.getSources().flatMap(s => s.notifications)
            .filter(n => n.title.startsWith('Convite')).map(n => {{
                n.actions.find(a => a.label === '{label}').callback(); n.destroy(); return 1; }})""")

    def click_notification(self):
        self.eval("""Main.messageTray.getSources().flatMap(s => s.notifications)
            .filter(n => n.title.startsWith('Convite')).map(n => (n.activate(), 1))""")


def check_stand_in_then_tray(shell, binary):
    program = shell.start("falavox", [binary], WAYLAND_DISPLAY="wayland-0", **shell.x11)
    window = wait_for("the stand-in window", lambda: shell.window("Falavox©"))
    wait_for("the listener", lambda: subprocess.run(
        ["ss", "-Htln", f"sport = :{PORT}"], capture_output=True, text=True).stdout.strip())
    shell.screenshot("stand-in-window")
    if not window["x11"] or not window["decorated"] or window["maximizable"]:
        raise Failure(f"the stand-in window is not drawn by GNOME as a fixed window: {window}")
    shell.eval(f"Main.extensionManager.enableExtension('{EXTENSION}')")
    wait_for("the icon in the top bar", lambda: any(
        key.startswith("appindicator-") for key in shell.eval("Object.keys(Main.panel.statusArea)")))
    wait_for("the stand-in window gone", lambda: not shell.window("Falavox©"))
    shell.eval("""Object.entries(Main.panel.statusArea)
        .filter(([k, v]) => k.startsWith('appindicator-')).map(([k, v]) => (v.menu.open(), 1))""")
    time.sleep(0.5)  # the menu slides open: nothing to wait on but the picture
    shell.screenshot("tray-menu")
    shell.eval("Main.panel.statusArea && Object.entries(Main.panel.statusArea)"
               ".filter(([k, v]) => k.startsWith('appindicator-')).map(([k, v]) => (v.menu.close(), 1))")
    return program


def connections():
    """The established TCP connections on the program's port."""
    return subprocess.run(["ss", "-Htn", "state", "established", f"( sport = :{PORT} )"],
                          capture_output=True, text=True).stdout.strip()


def invite(shell, text):
    """An invitation; returns the caller, the dialog's window and when it appeared."""
    caller = Caller(text)
    dialog = wait_for("the invitation dialog", lambda: shell.window(INVITATION), interval=0.05)
    return caller, dialog, time.monotonic()


def check_invitation_answered_from_notification(shell):
    for after, name in ((0.5, "half-a-second"), (1.5, "a-second-and-a-half")):
        caller, dialog, shown = invite(shell, "Vamos conversar?")
        notice = wait_for("the notification", lambda: shell.notifications())[0]
        if after == 0.5:
            middle = dialog["x"] + dialog["width"] // 2, dialog["y"] + dialog["height"] // 2
            # The screen below the top bar (32 pixels) is 1280 by 768.
            if abs(middle[0] - 640) > 4 or abs(middle[1] - 416) > 40:
                raise Failure(f"the dialog is not in the middle of the screen: {dialog}")
            if not dialog["x11"] or not dialog["decorated"] or dialog["maximizable"]:
                raise Failure(f"the dialog is not drawn by GNOME as a fixed dialog: {dialog}")
            if notice["urgency"] != 3 or notice["actions"] != ["Aceitar", "Ignorar"]:
                raise Failure(f"the notification is not a critical one with its answers: {notice}")
            if not notice["icon"] or "falavox" not in notice["icon"]:
                raise Failure(f"the notification does not name the program's icon: {notice}")
        time.sleep(max(0.0, shown + after - time.monotonic()))
        if after == 1.5:
            shell.screenshot("invitation")  # by now XWayland has drawn the dialog
        shell.answer_notification("Aceitar")
        answered = time.monotonic() - shown
        wait_for(f"the acceptance from the notification at {after} s",
                 lambda: ACCEPTANCE in caller.read())
        print(f"the notification's Aceitar {answered:.2f} s after the dialog appeared",
              file=sys.stderr)
        wait_for("the dialog to close", lambda: not shell.window(INVITATION))
        shell.screenshot(f"accepted-after-{name}")
        caller.close()
        wait_for("the program's end of the session", lambda: not connections())
    # The chat window of the last acceptance is the user's to close.
    chat = next((w for w in shell.windows() if w["title"].startswith("Falavox© - Usuário:")), None)
    if chat:
        shell.eval("global.get_window_actors().map(a => a.meta_window)"
                   ".filter(w => w.get_title().startsWith('Falavox© - Usuário:'))"
                   ".map(w => (w.delete(global.get_current_time()), 1))")
        wait_for("the chat window closed", lambda: not any(
            w["title"].startswith("Falavox© - Usuário:") for w in shell.windows()))


def check_notification_body_brings_dialog_forward(shell):
    caller, dialog, _ = invite(shell, "Está aí?")
    wait_for("the notification", lambda: shell.notifications())
    if dialog["focused"]:
        raise Failure("the dialog took the keyboard as it appeared")
    shell.click_notification()
    wait_for("the dialog with the keyboard", lambda: (shell.window(INVITATION) or {}).get("focused"))
    shell.screenshot("brought-forward")
    if caller.read():
        raise Failure(f"the notification's body answered the invitation: {caller.received!r}")
    caller.close()


def main():
    missing = [] if os.path.isdir(EXTENSION_DIR) else ["gnome-shell-extension-appindicator"]
    binary, code = enter_test(__file__, TOOLS, missing)
    if binary is None:
        return code
    base = scratch_folder("falavox-gnome-")
    # The program as installed: bin/ with its helper, and share/ with its icon, which the
    # notification names by its path (the shell reads it as the unprivileged user).
    copy_programs(binary, os.path.join(base, "bin"))
    share = os.path.join(os.path.dirname(binary), "..", "share")
    if os.path.isdir(share):
        shutil.copytree(share, os.path.join(base, "share"))
    shell = Shell(base, pwd.getpwnam("nobody"))
    try:
        shell.start_session()
        program = check_stand_in_then_tray(shell, os.path.join(base, "bin", "falavox"))
        check_invitation_answered_from_notification(shell)
        check_notification_body_brings_dialog_forward(shell)
        shell.stop(program)
    except Failure as failure:
        shell.screenshot("failure")
        report_failure(failure, base, [os.path.join(base, f"{name}.log")
                                       for name in ("falavox", "gnome-shell")])
        return 1
    finally:
        shell.stop_all()
    print(f"gnome desktop: passed (screenshots in {base})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
