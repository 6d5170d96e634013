#!/usr/bin/env python3
"""The main form's notices against real receivers, in network namespaces fmsc (the
inviting copy) and fmsd (a computer that runs Samba but not Falavox).

- The messenger-service notice: inviting FMSD with the notice flag stores exactly
  "Convite ao chat: <text>" through smbd's message command, and the chat window says so;
  a computer without SMB (NOSMB) and a server that refuses messages (SMB2 only) give
  "Não foi possivel enviar seu convite.".
- A computer whose SMB ports drop every packet: the notice waits for the client's time
  limit while the program goes on serving its events, and the status lines come in their
  order, the end of the connection last.
- The WinPopUp notice: tshark reads the announcement, the notice with exactly its bytes
  (empty and accented invitation texts, Windows-1252) and the farewell; with the datagram
  port taken on the sending side (nmbd), only the notice goes out and the call completes.

Needs root, smbd, nmbd, smbclient, tshark and nft; skipped (77) otherwise.
"""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import real_network as rn  # noqa: E402

SKIP = 77
SHORT = None  # a short folder of its own for Samba, made per run
NAMESPACES = {"fmsc": ("fmsc0", "10.243.2.1", "FMSC"), "fmsd": ("fmsd0", "10.243.2.2", "FMSD")}
SENT = "Status> Seu convite foi enviado com êxito."
FAILED = "Status> Não foi possivel enviar seu convite."
VIA_SERVICE = "Status> Enviando convite ao chat através do serviço de mensagens..."


def samba_conf(scratch, name, extra):
    # Samba's folders hold its messaging sockets, whose paths must stay short.
    private = os.path.join(SHORT, name)
    os.makedirs(private, exist_ok=True)
    path = os.path.join(scratch, name + ".conf")
    with open(path, "w") as f:
        f.write("[global]\nworkgroup = WORKGROUP\nnetbios name = FMSD\n"
                "interfaces = 10.243.2.2/24\nbind interfaces only = yes\nsmb ports = 139\n")
        for key in ("lock directory", "state directory", "cache directory", "pid directory",
                    "private dir", "ncalrpc dir", "binddns dir"):
            f.write(f"{key} = {private}\n")
        f.write(f"log file = {private}/log.%m\n{extra}")
    return path


def outcome(transcript):
    """The line that follows the notice's announcement in the transcript."""
    if VIA_SERVICE not in transcript:
        return None
    after = transcript[transcript.index(VIA_SERVICE) + 1:]
    return after[0] if after else None


def listening(ns, port, protocol="t"):
    return f":{port} " in rn.run("ip", "netns", "exec", ns, "ss", f"-{protocol}ln").stdout


def stop(net, process):
    """smbd's helpers outlive it: every process of the server's namespace ends by PID."""
    process.kill()
    process.wait()
    for pid in rn.run("ip", "netns", "pids", "fmsd", check=False).stdout.split():
        try:
            os.kill(int(pid), 9)
        except ProcessLookupError:
            pass


def longest_pause(transcript):
    """The probe's last line: how long its event loop once went without turning."""
    rn.expect(transcript and transcript[-1].startswith("longest pause: "), str(transcript))
    return int(transcript[-1].split()[2])


def silent_smb_ports(net, app):
    """The peer refuses the chat connection, but its SMB ports drop every packet, so the
    messenger-service client waits until it is given up."""
    rules = "table inet fmsdrop { chain input { type filter hook input priority 0; " \
            "tcp dport { 139, 445 } drop; }; }"
    rn.run("ip", "netns", "exec", "fmsd", "nft", rules)
    try:
        transcript = app("invite", "fmsd", "alô", "nt")
    finally:
        rn.run("ip", "netns", "exec", "fmsd", "nft", "delete", "table", "inet", "fmsdrop")
    lines = [line for line in transcript[:-1] if line]
    rn.expect(lines == ["Status> Convidando (Fmsd) ao chat... (Aguarde)",
                        "Status> O usuário (Fmsd), não esta disponível!",
                        VIA_SERVICE, FAILED, "Status> Desconectado!"],
              f"silent SMB ports: {transcript}")
    # The client waits about 5 s for ports that never answer; a notice sent on the
    # user-interface thread held its event loop that long.
    pause = longest_pause(transcript)
    rn.expect(pause < 1000, f"the event loop stood still for {pause} ms")
    print(f"silent SMB ports: longest pause of the event loop {pause} ms")


def main(probe):
    tools = ("smbd", "nmbd", "smbclient", "tshark", "nft")
    if os.geteuid() != 0 or not all(shutil.which(t) for t in tools):
        print("needs root and", ", ".join(tools))
        return SKIP
    base = os.environ.get("FALAVOX_TEST_TMP") or tempfile.gettempdir()
    os.makedirs(base, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="real_notices-", dir=base)
    global SHORT
    SHORT = tempfile.mkdtemp(prefix="fms-")
    try:
        return run_all(probe, scratch)
    finally:
        shutil.rmtree(SHORT, ignore_errors=True)


def run_all(probe, scratch):
    os.chmod(SHORT, 0o755)  # smbd's message command runs as nobody
    messages = os.path.join(SHORT, "messages")
    os.makedirs(messages)
    os.chmod(messages, 0o777)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=scratch,
               XDG_CONFIG_HOME=os.path.join(scratch, "config"),
               XDG_RUNTIME_DIR=scratch)

    def app(*args, timeout=40):
        # What the probe says on its error output (a sanitizer's report, say) is kept.
        with open(os.path.join(scratch, "probe-errors.txt"), "ab") as errors:
            process = net.start("fmsc", [probe, *args], stdout=subprocess.PIPE, stderr=errors,
                                env=env)
            out, _ = process.communicate(timeout=timeout)
        return out.decode("utf-8", "replace").splitlines()

    with rn.Network(scratch, NAMESPACES, ["10.243.2.1 NOSMB"]) as net:
        store = f"message command = /bin/sh -c 'cat %s > {messages}/%f-%t; rm %s' &\n"
        smbd = net.start("fmsd", ["smbd", "-F", "-s",
                                  samba_conf(scratch, "accepting", "server min protocol = NT1\n" + store)],
                         samba=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        rn.wait_for("smbd", lambda: listening("fmsd", 139))
        transcript = app("invite", "fmsd", "vamos conversar, José?", "nt",
                         os.path.join(scratch, "chat-window-after-notice.png"))
        rn.expect(outcome(transcript) == SENT, f"delivered notice: {transcript}")
        rn.expect("Status> O usuário (Fmsd), não esta disponível!" in transcript, str(transcript))
        rn.wait_for("the stored message", lambda: os.listdir(messages))
        stored = [open(os.path.join(messages, f), "rb").read() for f in os.listdir(messages)]
        rn.expect(stored == ["Convite ao chat: vamos conversar, José?".encode()],
                  f"stored: {stored}")

        transcript = app("invite", "nosmb", "", "nt")
        rn.expect(outcome(transcript) == FAILED, f"no SMB service: {transcript}")
        stop(net, smbd)

        smbd = net.start("fmsd", ["smbd", "-F", "-s",
                                  samba_conf(scratch, "refusing", "server min protocol = SMB2_02\n")],
                         samba=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        rn.wait_for("smbd", lambda: listening("fmsd", 139))
        transcript = app("invite", "fmsd", "x", "nt")
        rn.expect(outcome(transcript) == FAILED, f"refusing server: {transcript}")
        stop(net, smbd)
        silent_smb_ports(net, app)

        # The WinPopUp notice, as the peer's network sees it.
        pcap = os.path.join(scratch, "winpopup.pcap")
        tshark = net.capture("fmsd", pcap)
        for text in ("", "olá"):
            rn.expect(app("winpopup", "Ana", "Fmsd", text) == ["done active=0"], "winpopup")
        nmbd_conf = os.path.join(scratch, "nmbd.conf")
        with open(samba_conf(scratch, "nmbd", "")) as f:
            conf = f.read().replace("FMSD", "FMSC").replace("10.243.2.2", "10.243.2.1")
        with open(nmbd_conf, "w") as f:
            f.write(conf)
        nmbd = net.start("fmsc", ["nmbd", "-F", "-s", nmbd_conf], samba=True,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        rn.wait_for("nmbd to hold port 138", lambda: listening("fmsc", 138, "u"))
        rn.expect(app("winpopup", "Ana", "Fmsd", "taken") == ["done active=0"], "port taken")
        net.stop_capture(tshark)
        nmbd.kill()
        nmbd.wait()

        # nmbd's own browse announcements go to other mailslots.
        ours = [r for r in rn.dissect(pcap) if r[1] == "FMSC<00>" and "messngr" in r[4]]
        seen = []
        for kind, source, destination, command, mailslot, data in ours:
            rn.expect(command == "0x25" and mailslot == "\\MAILSLOT\\messngr", f"read as {command}")
            if data.startswith(b"COMMAND_MSG"):
                rn.expect(kind == 0x11 and destination == "WORKGROUP<00>", f"broadcast to {destination}")
                seen.append(data.split(b"\r\n")[3].decode())
            else:
                rn.expect(kind == 0x10 and destination == "FMSD<00>", f"notice to {destination}")
                seen.append(data)
        rn.expect(seen == ["ONLINE_NOTIFY", b"Ana\0Fmsd\0Convite ao chat: \r\n", "OFFLINE_NOTIFY",
                           "ONLINE_NOTIFY", b"Ana\0Fmsd\0Convite ao chat: ol\xe1\r\n",
                           "OFFLINE_NOTIFY", b"Ana\0Fmsd\0Convite ao chat: taken\r\n"],
                  f"datagrams: {seen}")
    print("ok:", scratch)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1]))
    except rn.Failure as failure:
        print("FAILED:", failure)
        sys.exit(1)
