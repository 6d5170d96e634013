#!/usr/bin/env python3
"""A computer on another subnet, found through the office's DNS server and invited.

  fsrA (ana-pc) --10.251.1.0/24-- fsrR (router, DNS server) --10.251.2.0/24-- fsrB (beto-pc)

The router forwards IPv4 between the subnets and routes no multicast, so neither copy's
Avahi daemon hears the other. The router runs BIND with the zone "corp.example" of
subnets.zone (the example the README gives): it announces the browse domain
"sub2.corp.example", where beto-pc offers _falavox._tcp and _workstation._tcp. Both
copies' resolvers and Ana's Avahi daemon (wide-area on) ask that server only and search
"corp.example", each in a mount namespace with its own /etc/resolv.conf.

Ana's tray menu lists "sub2.corp.example" under "&Chat" with beto-pc in it; picking it
invites the copy on the other subnet through the router, which accepts, and Ana's chat
window says so.

Needs root, the daemons and named; skipped (77) otherwise. Everything runs in namespaces
the test makes, ended by PID; the namespaces are removed at the end. Screenshots of every
step are left in the scratch folder.
"""

import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "platform"))
import neighbourhood_real as daemons  # noqa: E402
import real_pair as pair  # noqa: E402
import whole_program as desktop  # noqa: E402

TOOLS = pair.TOOLS + ("named", "named-checkzone")
ROUTER = "fsrR"
ZONE = os.path.join(HERE, "subnets.zone")
DOMAIN = "corp.example"
BROWSE_DOMAIN = "sub2.corp.example"
# Where the router sits on each subnet: gateway and DNS server.
ROUTER_ADDRESSES = {"fsrra": "10.251.1.254", "fsrrb": "10.251.2.254"}

ANA = pair.Copy("fsrA", "ana-pc", "fsra0", "10.251.1.1")
BETO = pair.Copy("fsrB", "beto-pc", "fsrb0", "10.251.2.1")
COPIES = (ANA, BETO)
# The helpers of the pair test work on these copies and namespaces.
pair.ANA, pair.BETO = ANA, BETO
daemons.NAMESPACES = (ROUTER, ANA.namespace, BETO.namespace)


def make_network():
    for namespace in daemons.NAMESPACES:
        daemons.run("ip", "netns", "add", namespace)
        daemons.run("ip", "-n", namespace, "link", "set", "lo", "up")
    for (router_if, router_ip), copy in zip(ROUTER_ADDRESSES.items(), COPIES):
        daemons.run("ip", "link", "add", router_if, "netns", ROUTER, "type", "veth", "peer",
                    "name", copy.interface, "netns", copy.namespace)
        daemons.run("ip", "-n", ROUTER, "addr", "add", f"{router_ip}/24", "brd", "+", "dev",
                    router_if)
        daemons.run("ip", "-n", ROUTER, "link", "set", router_if, "up")
        daemons.run("ip", "-n", copy.namespace, "addr", "add", f"{copy.address}/24", "brd",
                    "+", "dev", copy.interface)
        daemons.run("ip", "-n", copy.namespace, "link", "set", copy.interface, "up")
        daemons.run("ip", "-n", copy.namespace, "route", "add", "default", "via", router_ip)
    # Unicast is forwarded; multicast is not (no multicast routing daemon runs).
    daemons.run("ip", "netns", "exec", ROUTER, "sysctl", "-qw", "net.ipv4.ip_forward=1")


def start_dns_server(scratch):
    """BIND on the router's two addresses, authoritative for the zone and nothing else."""
    folder = os.path.join(scratch, "named")
    os.makedirs(folder)
    zone = os.path.join(folder, "corp.zone")
    shutil.copy(ZONE, zone)
    daemons.run("named-checkzone", DOMAIN, zone)
    config = os.path.join(folder, "named.conf")
    listen = "; ".join(ROUTER_ADDRESSES.values())
    with open(config, "w") as out:
        out.write(f'options {{\n  directory "{folder}";\n  pid-file "{folder}/named.pid";\n'
                  f"  listen-on {{ {listen}; }};\n  listen-on-v6 {{ none; }};\n"
                  "  recursion no;\n  dnssec-validation no;\n};\n"
                  f'zone "{DOMAIN}" {{ type primary; file "{zone}"; }};\n')
    log = open(os.path.join(folder, "named.log"), "w+")
    # -g: in the foreground, so that the process started is the server itself.
    server = subprocess.Popen(["ip", "netns", "exec", ROUTER, "named", "-g", "-c", config],
                              stdout=log, stderr=subprocess.STDOUT)
    daemons.wait_for("named to load the zone",
                     lambda: "running" in open(log.name).read() or server.poll() is not None,
                     10)
    if server.poll() is not None:
        raise daemons.Failure(f"named ended: {open(log.name).read()}")
    return server


def resolv_conf(scratch):
    path = os.path.join(scratch, "resolv.conf")
    with open(path, "w") as out:
        out.write(f"nameserver {ROUTER_ADDRESSES['fsrra']}\nsearch {DOMAIN}\n")
    return path


def start_wide_area_avahi(scratch, copy, resolv):
    """Ana's dbus-daemon and avahi-daemon, as the pair test starts them, but asking the
    DNS server of /etc/resolv.conf (its own, in the daemon's mount namespace) too."""
    folder = os.path.join(scratch, copy.namespace)
    os.makedirs(folder)
    config = os.path.join(folder, "avahi.conf")
    with open(config, "w") as out:
        out.write(f"[server]\nhost-name={copy.host}\nuse-ipv4=yes\nuse-ipv6=no\n"
                  f"allow-interfaces={copy.interface}\nenable-dbus=yes\n"
                  "[wide-area]\nenable-wide-area=yes\n"
                  "[publish]\npublish-workstation=no\npublish-hinfo=no\n")
    dbus_pid = os.path.join(folder, "dbus.pid")
    script = (f"mount --bind {resolv} /etc/resolv.conf && "
              "mount -t tmpfs -o mode=0755 fsrrun /run && mkdir -p /run/dbus && "
              f"dbus-daemon --system --fork --print-pid=1 >{dbus_pid} && "
              f"(avahi-daemon -f {config} >{folder}/avahi.log 2>&1 &)")
    daemons.run("ip", "netns", "exec", copy.namespace, "unshare", "--mount", "--propagation",
                "private", "sh", "-c", script)
    pid = int(open(dbus_pid).read().split()[0])
    bus = f"unix:path=/proc/{pid}/root/run/dbus/system_bus_socket"
    daemons.wait_for(f"avahi-daemon in {copy.namespace}",
                     lambda: "Server startup complete" in open(f"{folder}/avahi.log").read(), 10)
    return bus


def start_copy(session, copy, resolv):
    """The real program in the copy's namespace under its own host name, its resolver
    asking the DNS server of `resolv`."""
    home = os.path.join(session.scratch, copy.namespace, "home")
    os.makedirs(home, exist_ok=True)
    env = session.env()
    env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
               DBUS_SYSTEM_BUS_ADDRESS=copy.bus)
    log = open(os.path.join(session.scratch, f"{copy.host}.stderr"), "w")
    # ip netns exec, unshare and sh all exec, so the process is falavox itself.
    copy.process = session.start(
        ["ip", "netns", "exec", copy.namespace, "unshare", "--uts", "--mount", "sh", "-c",
         f"mount --bind {resolv} /etc/resolv.conf && hostname {copy.host} && exec \"$0\"",
         session.binary],
        env=env, stdout=subprocess.DEVNULL, stderr=log)
    desktop.wait_for(f"{copy.host} listening on {pair.PORT}", copy.listening, timeout=30)


def invite_across(session):
    """"&Chat" lists local, corp.example (the search domain, with no computer of its own)
    and the browse domain it announces; the third one's only computer is picked."""
    icon, x, y = desktop.find_tray_icon(session, ANA.process)
    session.click(x, y, button=3)
    desktop.wait_for("A's tray menu", lambda: pair.menus_of(session, ANA, icon))
    session.x("xdotool", "mousemove", "500", "600")
    session.x("xdotool", "key", "c")
    desktop.wait_for("the Chat submenu", lambda: len(pair.menus_of(session, ANA, icon)) >= 2)
    session.x("xdotool", "key", "Down", "Down", "Right")
    desktop.wait_for(f"the computers of {BROWSE_DOMAIN}",
                     lambda: len(pair.menus_of(session, ANA, icon)) >= 3)
    session.screenshot(f"chat-submenu-{BROWSE_DOMAIN}")
    session.x("xdotool", "key", "Return")
    return desktop.wait_for("B's invitation dialog",
                            lambda: pair.invitation_dialogs(session, BETO), timeout=15)


def scenario(session, scratch):
    make_network()
    session.processes.append(start_dns_server(scratch))
    resolv = resolv_conf(scratch)
    ANA.bus = start_wide_area_avahi(scratch, ANA, resolv)
    # Beto's own daemon announces him on his subnet only.
    BETO.bus = daemons.start_avahi(scratch, BETO.namespace, BETO.host, BETO.interface)
    session.start_xvfb()
    desktop.start_trayer(session)
    # Both resolvers ask only the test's DNS server, never the machine's.
    start_copy(session, BETO, resolv)
    start_copy(session, ANA, resolv)
    invite_across(session)
    pair.accept_invitation(session)
    window = pair.chat_window(session, ANA)
    # Both chat windows open in the middle of the screen: Ana's is moved aside, so that
    # her transcript is the one the pointer selects.
    pair.chat_window(session, BETO)
    session.x("xdotool", "windowmove", "--sync", window, "0", "60")
    text = desktop.wait_for("Ana's chat window to say she is connected",
                            lambda: (lambda t: t if "Status> Conectado." in t else None)(
                                pair.transcript(session, window)), timeout=10)
    session.screenshot("connected-across-the-router")
    print(f"ana-pc's transcript: {text!r}")
    if "Convidando (Beto-pc)" not in text:
        raise desktop.Failure(f"Ana invited someone else: {text!r}")


def main():
    return pair.run_in_namespaces("subnets", "fsr", TOOLS, COPIES, scenario)


if __name__ == "__main__":
    sys.exit(main())
