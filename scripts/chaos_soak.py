#!/usr/bin/env python3
"""A shop's bad day, many times over: several gateways side by side, each with
its own terminal line (a socat pty pair), payment hosts (host-sim) and folder,
carry payments while faults are injected between and around them.

  scripts/chaos_soak.py --gateways 10 --payments 20000            # Linux
  scripts/chaos_soak.py --wine --gateways 2 --payments 2000       # Windows build

Every gateway runs one call after another. Each round is one payment
(terminal-sim, the destination line naming the gateway's good host), and
before a share of them (--fault-share) one fault, drawn from a shuffled deck
of every kind so that even a short run meets each kind:

  host        the link dropped mid-reply, a host that takes the request and
              stays silent, garbage and an oversized chunk, connects refused
              for a while, a TLS handshake (or on EcType R the key exchange)
              that stalls
  terminal    a noise burst between calls, a call abandoned half way (ended
              by the terminal's hang-up, or by itself: the call watchdog), the
              hang-up sent in the middle of a request
  machine     the serial device gone and back (Linux: the pty pair replaced,
              so the COMN link points at a new device; Wine: also the
              dosdevices link), vorn.Ini or the LOG folder locked for one
              payment, today's log renamed away by another program, a web
              screen that hangs or one that hammers the bridge

A fault that is a call of its own ends as a terminal would end it: it hangs
up and redials ("CCCCCC" and three FF, then "CCCCC"), the only sequence the
gateway honours at any stage. The watchdog kind waits for the gateway to
reset the call by itself instead.

Checked after every call: the gateway is the process we started and still
runs; LastData is exactly the record of this gateway's latest approved
payment (600 bytes, "D1", this payment's terminal id, result "0000") and
never that of a call that was not approved; every payment is approved, also
right after a fault. At the end: every approved payment has its request line
in the day's log (in whichever file the log was renamed to), except payments
made while the log was locked; resident memory grew less than --rss-limit
between the first checkpoint and the end, and open descriptors did not grow.
Under Wine memory and descriptors are those of the Linux process the program
runs in, and the program's Windows handles (counted by handle-count.exe) did
not grow either.

It prints per fault kind: injected, recovered, lost (must be 0), and per
gateway the resource figures. Exit status 0 all held, 1 something was lost
or broken (folders kept), 2 bad command line, 130 stopped by Ctrl+C.
"""

import argparse
import collections
import os
import random
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

HOST_FAULTS = ["host_drop_mid_reply", "host_silent", "host_garbage", "host_oversized",
               "host_refused", "host_handshake_stall"]
TERMINAL_FAULTS = ["terminal_noise", "terminal_abandon", "terminal_abandon_watchdog",
                   "terminal_reset_mid_request"]
MACHINE_FAULTS = ["serial_vanish", "ini_locked", "log_locked", "log_renamed", "web_hang",
                  "web_hammer"]
KINDS = HOST_FAULTS + TERMINAL_FAULTS + MACHINE_FAULTS

# The scripts of the faulty hosts; each gateway has one host-sim per script.
FAULT_SCRIPTS = {
    # A reply's first bytes (a frame start in the clear), then the line drops.
    "drop": "request\nraw 02505932303235303130314431\nclose\n",
    "silent": "request\nend\n",
    "garbage": "request\nnoise 300\nnoise 17\nend\n",
    "oversized": "request\nnoise 70000\nend\n",
    # Takes whatever comes until the gateway hangs up.
    "abandon": "end\n",
}
HOST_FOR_FAULT = {"host_drop_mid_reply": "drop", "host_silent": "silent",
                  "host_garbage": "garbage", "host_oversized": "oversized"}

# A request as terminal-sim sends it, cut in two for the abandoned calls.
REQUEST_FRAME = (b"\x02PY20250101D1\x1cT9999999\x1cA4111111111111111=25121011234567\x1c00"
                 b"\x1c000015000\x1c000000000\x1c000000001364\x1c251207\x1c\x1c000001364"
                 b"\x1c000000000\x03`")
REDIAL = b"CCCCCC\x0c\x0c\x0c"
HANG_UP = b"CCCCC"
PROMPT = b"*DESTINATION:"
WAITING = "대기중 ..."
RESETTING = "초기화 합니다..."
UNWRITABLE = "Unable to write to"
REGISTERED = "웹 Handle 수신"
WM_WEBHANDLE = 0x0B32
WM_COPYDATA = 0x004A


class Figures(collections.namedtuple("Figures", "payment rss fds handles")):
    """A gateway's resources at a checkpoint; handles only under Wine."""

    def shown(self):
        handles = "" if self.handles is None else ", %d handles" % self.handles
        return "VmRSS %d kB, %d fds%s (%d)" % (self.rss, self.fds, handles, self.payment)

    def grown_past(self, start, rss_limit):
        """What grew beyond its bound since START."""
        grown = []
        if self.rss - start.rss >= rss_limit:
            grown.append("resident memory grew by %d kB" % (self.rss - start.rss))
        if self.fds > start.fds:
            grown.append("open descriptors went from %d to %d" % (start.fds, self.fds))
        if self.handles is not None and self.handles > start.handles:
            grown.append("Windows handles went from %d to %d" % (start.handles, self.handles))
        return grown


class Broken(Exception):
    """A gateway broke an invariant: counted as lost; after three its lane stops."""


def today_log_name():
    return time.strftime("log%Y%m%d.txt")


def lock(path):
    """Makes PATH unwritable, also for root (the immutable attribute); the
    file mode is the fallback where chattr is not allowed."""
    if subprocess.run(["chattr", "+i", path], stderr=subprocess.DEVNULL).returncode == 0:
        return lambda: subprocess.run(["chattr", "-i", path], check=False)
    mode = os.stat(path).st_mode
    os.chmod(path, 0o555 if os.path.isdir(path) else 0o444)
    return lambda: os.chmod(path, mode)


class TerminalLine:
    """The terminal's end of the pty pair, opened only while the soak itself
    plays the terminal: terminal-sim opens it for the payments."""

    def __init__(self, path):
        self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)

    def close(self):
        os.close(self.fd)

    def send(self, data):
        while data:
            select.select([], [self.fd], [], 1.0)
            try:
                data = data[os.write(self.fd, data):]
            except BlockingIOError:
                pass

    def receive(self, seconds, until=None):
        got = b""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline and not (until and until in got):
            ready, _, _ = select.select([self.fd], [], [], max(0.0, deadline - time.monotonic()))
            if ready:
                try:
                    got += os.read(self.fd, 4096)
                except (BlockingIOError, OSError):
                    time.sleep(0.01)
        return got

    def drain(self, quiet=0.3, limit=3.0):
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline and self.receive(quiet):
            pass

    def bring_back(self, prompt_wait):
        """Redials and hangs up until the gateway answers with its prompt."""
        for _ in range(20):
            self.send(REDIAL)
            if PROMPT in self.receive(prompt_wait, until=PROMPT):
                self.send(HANG_UP)
                self.drain()
                return True
        return False


class WebScreen:
    """A web screen on the Linux bridge socket, speaking its frames."""

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(10)
        self.sock.connect(path)

    @staticmethod
    def frame(message, wparam, lparam, payload=b""):
        return struct.pack("<IIQQ", 20 + len(payload), message, wparam, lparam) + payload

    def register(self, handle):
        self.sock.sendall(self.frame(WM_WEBHANDLE, 0, handle))
        self.sock.recv(24)

    def ask_last_data(self):
        self.sock.sendall(self.frame(WM_COPYDATA, 1, 0, struct.pack("<Q", 0) + b" LA"))
        self.sock.recv(65536)

    def close(self):
        self.sock.close()


class Lane:
    """One gateway with its line, hosts and folder, and the calls it runs."""

    def __init__(self, soak, index):
        self.soak = soak
        self.index = index
        self.args = soak.args
        self.wine = self.args.wine
        self.folder = os.path.join(soak.base, "gateway%02d" % index)
        os.makedirs(self.folder)
        self.random = random.Random(self.args.seed * 1000 + index)
        self.ec_type = "A" if index % 2 == 0 else "R"
        self.processes = []
        self.held = []
        self.socat = None
        self.payments = 0
        self.last_record = None
        self.approved = []       # terminal ids of approved payments
        self.unlogged = set()    # ids approved while the log was locked
        self.counts = collections.Counter()
        self.failures = []
        self.figures = []        # Figures at each checkpoint
        self.stop = threading.Event()
        scale = 2 if self.wine else 1
        self.step_timeout = 20 * scale
        self.fault_timeout = 6 if self.wine else 4
        self.prompt_wait = 0.6 * scale
        if self.wine:
            self.prefix = self.args.wine_prefix if index == 0 else "%s-%d" % (
                self.args.wine_prefix, index)
            self.com_number = 20 + index

    # ---- setting up -------------------------------------------------------

    def path(self, name):
        return os.path.join(self.folder, name)

    def start(self, command, name, **kwargs):
        out = open(self.path(name), "wb")
        process = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT,
                                   stdin=subprocess.DEVNULL, **kwargs)
        out.close()
        self.processes.append(process)
        return process

    def await_true(self, check, seconds, what):
        deadline = time.monotonic() + seconds
        while not check():
            if time.monotonic() > deadline:
                raise Broken(what)
            time.sleep(0.05)

    def host(self, name, *options):
        bin_dir = self.soak.linux_bin
        mode = "LF" if self.ec_type == "A" else "AR"
        command = [os.path.join(bin_dir, "host-sim"), "--mode", mode, "--idle-exit", "0"]
        if mode == "LF":
            command.append("--tls")
        self.start(command + list(options), "host-%s.txt" % name)
        self.await_true(lambda: re.match(rb"^\d+\n", self.read(self.path("host-%s.txt" % name))),
                        30, "host-sim %s did not start" % name)
        port = int(self.read(self.path("host-%s.txt" % name)).split(b"\n")[0])
        return self.dialled(port)

    def dialled(self, port):
        # Under EcType R the gateway adds 20000 to the port it is given.
        return port - 20000 if self.ec_type == "R" else port

    def hold_socket(self, listening):
        """A port of our own: refusing connects, or (listening) taking them."""
        while True:
            sock = socket.socket()
            sock.bind(("127.0.0.1", 0))
            # Under EcType R the dial must be able to name it (20000 less).
            if self.ec_type == "A" or sock.getsockname()[1] > 20000:
                break
            sock.close()
        if listening:
            sock.listen(16)
        self.held.append(sock)
        return sock, self.dialled(sock.getsockname()[1])

    def stall_host(self, sock):
        """Accepts and keeps every connection open, saying nothing, until
        the gateway gives up on it."""
        open_links = []
        sock.settimeout(0.5)
        while not self.stop.is_set():
            try:
                link, _ = sock.accept()
                open_links.append((link, time.monotonic()))
            except socket.timeout:
                pass
            except OSError:
                break  # closed at the end of the run
            for link, since in list(open_links):
                if time.monotonic() - since > 60:
                    link.close()
                    open_links.remove((link, since))
        for link, _ in open_links:
            link.close()

    def plug_in(self):
        gateway_end = self.path("gateway-line" if self.wine else "COM6")
        self.socat = self.start(["socat", "pty,raw,echo=0,link=" + gateway_end,
                                 "pty,raw,echo=0,link=" + self.path("terminal")], "socat.txt")
        self.await_true(lambda: os.path.exists(self.path("terminal")) and
                        os.path.exists(gateway_end), 10, "socat made no pty pair")
        if self.wine:
            link = os.path.join(self.prefix, "dosdevices", "com%d" % self.com_number)
            if os.path.lexists(link):
                os.remove(link)
            os.symlink(gateway_end, link)

    def pull_out(self):
        self.socat.terminate()
        self.socat.wait()
        self.processes.remove(self.socat)
        if self.wine:
            os.remove(os.path.join(self.prefix, "dosdevices", "com%d" % self.com_number))

    def set_up(self):
        self.good_port = self.host("good", "--timeout", "15")
        self.fault_ports = {name: self.host(name, "--timeout", "60", "--script",
                                            self.write_script(name, text))
                            for name, text in FAULT_SCRIPTS.items()}
        _, self.closed_port = self.hold_socket(listening=False)
        stall_sock, self.stall_port = self.hold_socket(listening=True)
        threading.Thread(target=self.stall_host, args=(stall_sock,), daemon=True).start()
        if self.wine:
            subprocess.run(self.wine_run([]), check=True)  # makes the prefix once
        self.plug_in()
        ini = ("[VORN]\r\nEcPort=%d\r\nEcSpeed=9600\r\nEcType=%s\r\nDnAddr=127.0.0.1\r\n"
               "DnPort=%d\r\nUpAddr=127.0.0.1\r\nUpPort=%d\r\nWatchdogYn=Y\r\nHostTimeout=%d\r\n"
               % (self.com_number if self.wine else 6, self.ec_type, self.good_port,
                  self.closed_port, 3))
        with open(self.path("vorn.Ini"), "w", newline="") as ini_file:
            ini_file.write(ini)
        if self.wine:
            home = "Z:" + self.folder.replace("/", "\\")
            command = self.wine_run([os.path.join(self.soak.windows_bin, "tavorline.exe"),
                                     "--headless", "--home", home])
        else:
            command = [os.path.join(self.soak.linux_bin, "tavorline"), "--headless",
                       "--home", self.folder]
        errors = open(self.path("gateway-errors.txt"), "wb")
        out = open(self.path("gateway.txt"), "wb")
        self.gateway = subprocess.Popen(command, stdout=out, stderr=errors,
                                        stdin=subprocess.DEVNULL)
        out.close()
        errors.close()
        self.processes.append(self.gateway)
        self.await_true(lambda: self.status_count(WAITING) >= 1, 120, "the gateway did not start")
        self.pid = self.gateway.pid

    def wine_run(self, arguments):
        loader = ["--wine64"] if self.args.wine64 else []
        return [os.path.join(ROOT, "cmake", "wine-run.sh"), "--prefix", self.prefix] + loader + \
            arguments

    def write_script(self, name, text):
        with open(self.path("script-%s.txt" % name), "w") as script:
            script.write(text)
        return self.path("script-%s.txt" % name)

    # ---- what the gateway shows --------------------------------------------

    @staticmethod
    def read(path):
        try:
            with open(path, "rb") as f:
                return f.read()
        except OSError:
            return b""

    def status_count(self, text):
        return self.read(self.path("gateway.txt")).decode("utf-8", "replace").count(text)

    def stored_record(self):
        found = re.search(rb'^LastData="?([^"\r\n]*)"?\r?$', self.read(self.path("vorn.Ini")),
                          re.M)
        return found.group(1).decode("latin-1") if found else None

    def resources(self, payment):
        status = self.read("/proc/%d/status" % self.pid).decode()
        rss = int(re.search(r"VmRSS:\s+(\d+)", status).group(1))
        return Figures(payment, rss, len(os.listdir("/proc/%d/fd" % self.pid)),
                       self.windows_handles() if self.wine else None)

    def windows_handles(self):
        """The lowest of three counts half a second apart: a handle Wine holds
        for a moment (one checkpoint in twenty of a long run saw one more) is
        not growth, while a leaked one shows in every count."""
        counts = []
        for attempt in range(3):
            if attempt:
                time.sleep(0.5)
            counted = subprocess.run(
                self.wine_run([os.path.join(self.soak.windows_bin, "handle-count.exe"),
                               "tavorline.exe"]), capture_output=True, timeout=60)
            if counted.returncode != 0:
                raise Broken("handle-count.exe: %s" %
                             counted.stderr.decode(errors="replace").strip())
            counts.append(int(counted.stdout.split()[1]))
        return min(counts)

    # ---- calls --------------------------------------------------------------

    def terminal_sim(self, port, terminal_id, timeout, expect=None):
        command = [os.path.join(self.soak.linux_bin, "terminal-sim"), "--device",
                   self.path("terminal"), "--line-check", "--mode", "LF", "--dest",
                   "127.0.0.1/%d" % port, "--field", "2=" + terminal_id, "--timeout", str(timeout)]
        if expect:
            command += ["--expect", expect]
        with open(self.path("terminal.txt"), "wb") as out:
            return subprocess.run(command, stdout=out, stderr=subprocess.STDOUT).returncode

    def pay(self):
        """One payment to the good host; it must be approved and stored."""
        self.payments += 1
        terminal_id = "G%02d%05d" % (self.index, self.payments % 100000)
        if self.terminal_sim(self.good_port, terminal_id, self.step_timeout, "approved") != 0:
            shutil.copy(self.path("terminal.txt"), self.path("terminal-failed-%d.txt" %
                                                              self.payments))
            raise Broken("payment %s was not approved" % terminal_id)
        self.approved.append(terminal_id)
        return terminal_id

    def await_stored(self, terminal_id):
        try:
            self.await_true(lambda: (self.stored_record() or "").startswith("D1" + terminal_id),
                            10, "")
        except Broken:
            raise Broken("payment %s: LastData is not its record: %r" %
                         (terminal_id, self.stored_record()))
        self.check_record(terminal_id)

    def check_record(self, terminal_id=None):
        record = self.stored_record()
        if terminal_id is not None:
            if not (record and len(record) == 600 and record.startswith("D1" + terminal_id)
                    and record[306:310] == "0000"):
                raise Broken("LastData is not the approval of %s: %r" % (terminal_id, record))
            self.last_record = record
        elif record != self.last_record:
            raise Broken("LastData changed in a call that was not approved: %r" % record)

    def check_alive(self):
        if self.gateway.poll() is not None:
            raise Broken("the gateway ended (status %s)" % self.gateway.returncode)

    def with_line(self, action):
        line = TerminalLine(self.path("terminal"))
        try:
            return action(line)
        finally:
            line.close()

    def bring_back(self, line):
        if not line.bring_back(self.prompt_wait):
            raise Broken("the gateway no longer answers a redial")

    def dial_into(self, line, port):
        """Dials and names PORT; True once the host link is up (seven ENQ)."""
        line.send(b"\n\n\n")
        if PROMPT not in line.receive(3 * self.prompt_wait + 2, until=PROMPT):
            return False
        line.send(b"IP127.0.0.1/%d\r\r\r" % port)
        return b"\x05" * 7 in line.receive(self.fault_timeout * 2, until=b"\x05" * 7)

    # ---- the faults ------------------------------------------------------------

    def host_call(self, port):
        self.terminal_sim(port, "F%02d%05d" % (self.index, self.payments % 100000),
                          self.fault_timeout)
        self.with_line(self.bring_back)

    def inject(self, kind):
        """Runs one fault; returns what wraps the next payment, if anything."""
        if kind in HOST_FOR_FAULT:
            self.host_call(self.fault_ports[HOST_FOR_FAULT[kind]])
        elif kind == "host_refused":
            for _ in range(self.random.randint(1, 3)):  # the host is down for a while
                self.host_call(self.closed_port)
        elif kind == "host_handshake_stall":
            self.host_call(self.stall_port)
        elif kind == "terminal_noise":
            noise = bytes(b for b in self.random.randbytes(self.random.randint(1, 300))
                          if b != 0x0D)
            self.with_line(lambda line: (line.send(noise), line.drain(), self.bring_back(line)))
        elif kind in ("terminal_abandon", "terminal_abandon_watchdog"):
            self.abandon(watchdog=kind.endswith("watchdog"))
        elif kind == "terminal_reset_mid_request":
            def reset_mid_request(line):
                if self.dial_into(line, self.fault_ports["abandon"]):
                    half = len(REQUEST_FRAME) // 2
                    line.send(REQUEST_FRAME[:half] + HANG_UP + REQUEST_FRAME[half:])
                    line.drain()
                self.bring_back(line)
            self.with_line(reset_mid_request)
        elif kind == "serial_vanish":
            self.pull_out()
            time.sleep(self.random.uniform(0.3, 2.0))
            self.plug_in()
        elif kind == "ini_locked":
            return lock(self.path("vorn.Ini"))
        elif kind == "log_locked":
            today = os.path.join(self.path("LOG"), today_log_name())
            unlocks = [lock(path) for path in (today, self.path("LOG")) if os.path.exists(path)]
            return lambda: [unlock() for unlock in unlocks]
        elif kind == "log_renamed":
            today = os.path.join(self.path("LOG"), today_log_name())
            if os.path.exists(today):
                os.rename(today, "%s.moved-%d" % (today, self.payments))
        elif kind == "web_hang":
            return self.hung_web_screen()
        elif kind == "web_hammer":
            return self.hammering_web_screen()
        return None

    def abandon(self, watchdog):
        resets = self.status_count(RESETTING)

        def half_a_request(line):
            if self.dial_into(line, self.fault_ports["abandon"]):
                line.send(REQUEST_FRAME[:len(REQUEST_FRAME) // 2])
            if not watchdog:
                line.drain()
                self.bring_back(line)
        self.with_line(half_a_request)
        if watchdog:
            # Quiet for 30 s, then the gateway resets the call by itself.
            self.await_true(lambda: self.status_count(RESETTING) > resets, 50,
                            "the watchdog did not end the abandoned call")

    def hung_web_screen(self):
        if self.wine:
            registered = self.status_count(REGISTERED)
            listener = self.start(self.wine_run([os.path.join(self.soak.windows_bin,
                                                              "tavorline-web.exe"), "listen"]),
                                  "web-hang.txt")
            self.await_true(lambda: self.status_count(REGISTERED) > registered, 60,
                            "the web screen did not register")
            # Stopped, its window takes no message: hung, as far as Windows can tell.
            os.kill(listener.pid, signal.SIGSTOP)

            def end():
                os.kill(listener.pid, signal.SIGCONT)
                listener.kill()
                listener.wait()
            return end
        screen = WebScreen(self.path("Tavorline.sock"))
        screen.register(0x1000 + self.index)
        # From here on it never reads: the gateway's texts go unanswered.
        return screen.close

    def hammering_web_screen(self):
        done = threading.Event()

        def hammer():
            while not done.is_set():
                try:
                    if self.wine:
                        subprocess.run(self.wine_run([os.path.join(
                            self.soak.windows_bin, "tavorline-web.exe"), "send", " LA"]),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
                    else:
                        screen = WebScreen(self.path("Tavorline.sock"))
                        for _ in range(50):
                            screen.ask_last_data()
                        screen.close()
                except (OSError, subprocess.TimeoutExpired):
                    time.sleep(0.05)
        thread = threading.Thread(target=hammer, daemon=True)
        thread.start()
        return lambda: (done.set(), thread.join())

    # ---- the run ----------------------------------------------------------------

    def round(self, fault):
        undo = self.inject(fault) if fault else None
        refused = self.status_count(UNWRITABLE)
        try:
            self.check_alive()
            if fault:
                self.check_record()
            terminal_id = self.pay()
            if fault == "ini_locked":
                # Stored, or reported as not stored, before the file is writable again.
                self.await_true(lambda: (self.stored_record() or "").startswith("D1" + terminal_id)
                                or self.status_count(UNWRITABLE) > refused, 10,
                                "payment %s: its record was neither stored nor reported"
                                % terminal_id)
        finally:
            if undo:
                undo()
        if fault == "log_locked":
            self.unlogged.add(terminal_id)
        if self.status_count(UNWRITABLE) > refused:
            # Reported; the record stored before stays as it was.
            self.check_record()
            self.counts["records reported as not stored"] += 1
        else:
            self.await_stored(terminal_id)
        self.check_alive()

    def run(self, payments):
        try:
            self.set_up()
            # The first checkpoint comes after a warm-up: what a program loads
            # on first use is not growth.
            every = max(4, payments // 10)
            for number in range(1, payments + 1):
                if self.soak.stopping.is_set():
                    break
                fault = self.soak.draw() if self.random.random() < self.args.fault_share else None
                try:
                    self.round(fault)
                except (Broken, OSError, subprocess.SubprocessError) as broken:
                    self.failures.append("%s: %s" % (fault or "clean payment", broken))
                    self.soak.lost(fault, str(broken), self)
                    if len(self.failures) >= 3 or self.gateway.poll() is not None:
                        break
                    continue
                if fault:
                    self.soak.recovered(fault)
                if number % every == 0 or number == payments:
                    self.settle_and_measure(number)
        except (Broken, OSError, subprocess.SubprocessError) as broken:
            self.failures.append("set-up: %s" % broken)
            self.soak.lost(None, "set-up: %s" % broken, self)
        finally:
            self.stop.set()

    def settle_and_measure(self, payment):
        time.sleep(1.5)  # past the second a dropped host connection takes to close
        figures = self.resources(payment)
        self.figures.append(figures)
        print("chaos: gateway %02d: %5d paid, %s" % (self.index, payment, figures.shown()),
              flush=True)

    def check_log(self):
        """Every approved payment has its request line somewhere in LOG."""
        logged = set()
        log_folder = self.path("LOG")
        for name in os.listdir(log_folder) if os.path.isdir(log_folder) else []:
            logged.update(re.findall(rb"^\[CR   [0-9:]{8}\]\[\x02?PY\d{8}D1\x1c?(G\d{7})",
                                     self.read(os.path.join(log_folder, name)), re.M))
        logged = {found.decode() for found in logged}
        return [tid for tid in self.approved if tid not in logged and tid not in self.unlogged]

    def end(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
        for process in self.processes:
            try:
                process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                process.kill()
        for sock in self.held:
            sock.close()
        if self.wine:
            link = os.path.join(self.prefix, "dosdevices", "com%d" % self.com_number)
            if os.path.lexists(link):
                os.remove(link)


class Soak:
    def __init__(self, args):
        self.args = args
        self.linux_bin = args.linux_bin
        self.windows_bin = args.windows_bin
        self.base = tempfile.mkdtemp(prefix="tavorline-chaos.")
        self.lock = threading.Lock()
        self.injected = collections.Counter()
        self.recovered_count = collections.Counter()
        self.lost_count = collections.Counter()
        self.stopping = threading.Event()
        self.random = random.Random(args.seed)
        self.deck = []

    def draw(self):
        """The next fault kind: one deck for all gateways, so that a short run
        meets every kind once."""
        with self.lock:
            if not self.deck:
                self.deck = list(self.args.faults)
                self.random.shuffle(self.deck)
            return self.deck.pop()

    def recovered(self, kind):
        with self.lock:
            self.injected[kind] += 1
            self.recovered_count[kind] += 1

    def lost(self, kind, why, lane):
        with self.lock:
            key = kind or "(no fault)"
            self.injected[key] += 1 if kind else 0
            self.lost_count[key] += 1
            print("chaos: gateway %02d: LOST: %s: %s" % (lane.index, key, why), flush=True)

    def run(self):
        args = self.args
        lanes = [Lane(self, index) for index in range(args.gateways)]
        shares = [args.payments // args.gateways + (1 if i < args.payments % args.gateways else 0)
                  for i in range(args.gateways)]
        started = time.monotonic()
        print("chaos: %d payments over %d gateway(s)%s, fault share %.2f, seed %d, folder %s"
              % (args.payments, args.gateways, " under Wine" if args.wine else "",
                 args.fault_share, args.seed, self.base), flush=True)
        threads = [threading.Thread(target=lane.run, args=(share,))
                   for lane, share in zip(lanes, shares)]
        try:
            for thread in threads:
                thread.start()
            while any(thread.is_alive() for thread in threads):
                time.sleep(0.5)
        except KeyboardInterrupt:
            self.stopping.set()
            for thread in threads:
                thread.join()
            for lane in lanes:
                lane.end()
            return 130
        for lane in lanes:
            lane.end()
        return self.report(lanes, time.monotonic() - started)

    def report(self, lanes, seconds):
        broken = False
        paid = sum(len(lane.approved) for lane in lanes)
        print("\n%-28s %9s %10s %5s" % ("fault", "injected", "recovered", "lost"))
        for kind in KINDS + ["(no fault)"]:
            if kind == "(no fault)" and not self.lost_count[kind]:
                continue
            print("%-28s %9d %10d %5d" % (kind, self.injected[kind], self.recovered_count[kind],
                                           self.lost_count[kind]))
        print("%-28s %9d %10d %5d" % ("all", sum(self.injected.values()),
                                       sum(self.recovered_count.values()),
                                       sum(self.lost_count.values())))
        print("\n%-8s %9s %-40s %-40s %s" % ("gateway", "payments", "first checkpoint",
                                              "end", "missing log lines"))
        for lane in lanes:
            missing = lane.check_log()
            first = lane.figures[0].shown() if lane.figures else "-"
            last = lane.figures[-1].shown() if lane.figures else "-"
            print("%-8s %9d %-40s %-40s %d" % ("%02d" % lane.index, len(lane.approved), first,
                                             last, len(missing)))
            if missing:
                broken = True
                print("  no log line for: %s" % " ".join(missing[:10]))
            if lane.figures:
                for grown in lane.figures[-1].grown_past(lane.figures[0], self.args.rss_limit):
                    broken = True
                    print("  " + grown)
            elif not lane.failures:
                broken = True
            for count, number in lane.counts.items():
                print("  %s: %d" % (count, number))
        broken = broken or any(lane.failures for lane in lanes) or paid < self.args.payments
        print("\npayments approved: %d of %d in %d s" % (paid, self.args.payments, seconds))
        if broken:
            print("chaos: FAILED; the folders stay: %s" % self.base, flush=True)
            return 1
        shutil.rmtree(self.base, ignore_errors=True)
        print("chaos: nothing lost")
        return 0


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--gateways", type=int, default=2)
    parser.add_argument("--payments", type=int, default=40, help="in all, over the gateways")
    parser.add_argument("--fault-share", type=float, default=0.3,
                        help="share of payments with a fault before or around them")
    parser.add_argument("--seed", type=int, default=20261209)
    parser.add_argument("--faults", default=",".join(KINDS),
                        help="the fault kinds to draw from, comma-separated (default: all)")
    parser.add_argument("--wine", action="store_true", help="run the Windows build under Wine")
    parser.add_argument("--wine64", action="store_true",
                        help="the 64-bit build, with the 64-bit loader alone")
    parser.add_argument("--linux-bin", default=os.path.join(ROOT, "build", "bin"),
                        help="tavorline, terminal-sim, host-sim, libVornLib.so")
    parser.add_argument("--windows-bin", default=os.path.join(ROOT, "build-win", "bin"),
                        help="tavorline.exe, tavorline-web.exe, VornLib.dll")
    parser.add_argument("--wine-prefix", default=os.path.join(ROOT, "build-win", "wineprefix"),
                        help="gateway 0's prefix; gateway N's is PREFIX-N")
    parser.add_argument("--rss-limit", type=int,
                        help="kB the resident memory may grow from the first checkpoint to the "
                        "end (default 4096; under Wine 16384, where the figure includes Wine)")
    args = parser.parse_args()
    args.faults = args.faults.split(",")
    if not set(args.faults) <= set(KINDS):
        parser.error("unknown fault kinds: %s" % ", ".join(sorted(set(args.faults) - set(KINDS))))
    if args.rss_limit is None:
        args.rss_limit = 16384 if args.wine else 4096
    if args.gateways < 1 or args.payments < args.gateways or not 0 <= args.fault_share <= 1:
        parser.error("wants at least one payment per gateway and a fault share from 0 to 1")
    return args


def main():
    args = parse_arguments()
    needed = [(args.linux_bin, program) for program in ["terminal-sim", "host-sim"]]
    needed += [(args.windows_bin, program) for program in ["tavorline.exe", "handle-count.exe"]] \
        if args.wine else [(args.linux_bin, "tavorline")]
    for folder, program in needed:
        if not os.path.exists(os.path.join(folder, program)):
            print("chaos: %s is missing in %s; build first" % (program, folder), file=sys.stderr)
            return 1
    if shutil.which("socat") is None:
        print("chaos: socat is missing", file=sys.stderr)
        return 1
    signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt()))
    return Soak(args).run()


if __name__ == "__main__":
    sys.exit(main())
