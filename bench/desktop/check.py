#!/usr/bin/env python3
"""Drives the real program with the keyboard under Orca, on a private desktop, and prints what
Orca said at each step with a PASS or FAIL where the outcome is clear.

Usage: check.py BUILD_DIR [--out DIR] [--keep] [--only STEP,...]

Everything runs in a private world: an Xvfb server, a session bus, the accessibility bus, openbox,
Orca with its own settings and speech service (the dummy output: nothing is heard), the program
with its own configuration folder, and an update server on 127.0.0.1 that holds its reply. Every
wait is bounded, and every process started here is ended at exit.
"""
import argparse
import http.server
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import tty

HERE = os.path.dirname(os.path.abspath(__file__))
PROBE = os.path.join(HERE, "atspi_probe.py")


# ---- processes ------------------------------------------------------------------------------

class World:
    """The private desktop: started processes, their environment, and the files they write."""

    def __init__(self, build, out, keep):
        self.build = os.path.abspath(build)
        self.work = tempfile.mkdtemp(prefix="vellora-desktop-")
        self.out = os.path.abspath(out) if out else os.path.join(self.work, "out")
        os.makedirs(self.out, exist_ok=True)
        self.keep = keep
        self.procs = []  # (name, Popen), ended in reverse order
        self.env = self._environment()
        self.app = None
        self.orca_log = os.path.join(self.out, "orca-debug.log")
        self.server = None

    def _environment(self):
        home = os.path.join(self.work, "home")
        runtime = os.path.join(self.work, "run")
        for d in (home, runtime):
            os.makedirs(d, mode=0o700)
        env = {k: v for k, v in os.environ.items()
               if k in ("PATH", "LANG", "LC_ALL", "TERM", "USER", "LOGNAME", "SHELL")}
        env.update({
            "HOME": home,
            "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_SESSION_TYPE": "x11",
            "LANG": env.get("LANG") or "C.UTF-8",
            # Orca's and the bus launcher's settings stay in their processes.
            "GSETTINGS_BACKEND": "memory",
            "NO_AT_BRIDGE": "0",
            # Qt asks the bus whether a screen reader runs; this makes it certain.
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_QPA_PLATFORM": "xcb",
            "QT_ACCESSIBILITY": "1",
            # The program's own speech goes nowhere: the desktop's sound is not touched.
            "SDL_AUDIODRIVER": "dummy",
            "PULSE_SERVER": "unix:" + os.path.join(runtime, "no-pulse"),
        })
        for d in ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"):
            os.makedirs(env[d], exist_ok=True)
        # Addresses the program opens are written down instead of reaching a browser.
        bin_dir = os.path.join(self.work, "bin")
        os.makedirs(bin_dir)
        opener = os.path.join(bin_dir, "xdg-open")
        with open(opener, "w") as f:
            f.write('#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s"\n'
                    % os.path.join(self.out, "opened-urls.txt"))
        os.chmod(opener, 0o755)
        env["PATH"] = bin_dir + ":" + env.get("PATH", "/usr/bin:/bin")
        return env

    def start(self, name, argv, **kw):
        log = open(os.path.join(self.out, name + ".log"), "wb")
        p = subprocess.Popen(argv, env=self.env, stdout=log, stderr=subprocess.STDOUT,
                             stdin=subprocess.DEVNULL, start_new_session=True, **kw)
        self.procs.append((name, p))
        return p

    def stop(self, p, grace=3.0):
        if p.poll() is not None:
            return
        try:
            os.killpg(p.pid, signal.SIGTERM)
        except ProcessLookupError:
            return
        try:
            p.wait(grace)
        except subprocess.TimeoutExpired:
            try:
                os.killpg(p.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            p.wait(grace)

    def close(self):
        for _name, p in reversed(self.procs):
            self.stop(p)
        # The speech service is started by Orca's client library and leaves its group: ended
        # by the process id it wrote in this world's runtime folder, if it is still there.
        pidfile = os.path.join(self.env["XDG_RUNTIME_DIR"], "speech-dispatcher", "pid",
                               "speech-dispatcher.pid")
        try:
            with open(pidfile) as f:
                os.kill(int(f.read().strip()), signal.SIGTERM)
        except (OSError, ValueError):
            pass
        if self.server:
            self.server.release.set()
            self.server.shutdown()
        if not self.keep:
            shutil.rmtree(os.path.join(self.work, "home"), ignore_errors=True)
            shutil.rmtree(os.path.join(self.work, "run"), ignore_errors=True)

    # The X server, the buses, the window manager and Orca.
    def start_desktop(self):
        for n in range(200, 300):
            if not os.path.exists("/tmp/.X11-unix/X%d" % n) and not os.path.exists(
                    "/tmp/.X%d-lock" % n):
                break
        display = ":%d" % n
        self.start("xvfb", ["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"])
        self.env["DISPLAY"] = display
        wait_for(lambda: os.path.exists("/tmp/.X11-unix/X%d" % n), 10, "the X server")

        r, w = os.pipe()
        self.start("dbus", ["dbus-daemon", "--session", "--nofork", "--print-address=%d" % w],
                   pass_fds=(w,))
        os.close(w)
        with os.fdopen(r) as f:
            address = read_line_within(f, 10, "the session bus")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address.strip()

        self.start("atspi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        wait_for(lambda: self.run(["dbus-send", "--session", "--print-reply",
                                   "--dest=org.a11y.Bus", "/org/a11y/bus",
                                   "org.a11y.Bus.GetAddress"], 3).returncode == 0,
                 10, "the accessibility bus")
        self.run(["dbus-send", "--session", "--dest=org.a11y.Bus", "/org/a11y/bus",
                  "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status",
                  "string:IsEnabled", "variant:boolean:true"], 3)

        self.start("openbox", ["openbox", "--sm-disable"])
        wait_for(lambda: "openbox" in self.run(["wmctrl", "-m"], 3).stdout.lower(), 10,
                 "the window manager")

        self.write_speech_settings()
        prefs = self.write_orca_settings()
        self.start("orca", ["/usr/bin/python3", os.path.join(HERE, "orca_private.py"), "-u", prefs, "--debug-file=" + self.debug_terminal()])
        wait_for(lambda: "ORCA: Starting ATSPI registry" in read(self.orca_log), 30, "Orca")

    def debug_terminal(self):
        """A terminal for Orca's debug file, copied to orca-debug.log as it comes.

        Orca writes that file through Python's buffered text files: into a plain file a line
        shows only once some kilobytes have gathered, into a terminal at once.
        """
        master, slave = os.openpty()
        tty.setraw(slave)
        self.keep_open = slave  # the terminal stays up between Orca's writes
        sink = open(self.orca_log, "wb")

        def copy():
            while True:
                try:
                    data = os.read(master, 65536)
                except OSError:
                    break
                if not data:
                    break
                sink.write(data.replace(b"\r\n", b"\n"))
                sink.flush()
        threading.Thread(target=copy, daemon=True).start()
        return os.ttyname(slave)

    def write_speech_settings(self):
        d = os.path.join(self.env["XDG_CONFIG_HOME"], "speech-dispatcher")
        os.makedirs(d, exist_ok=True)
        with open(os.path.join(d, "speechd.conf"), "w") as f:
            f.write('AddModule "dummy" "sd_dummy" ""\nDefaultModule dummy\n'
                    'AudioOutputMethod "libao"\nTimeout 10\n')

    def write_orca_settings(self):
        d = os.path.join(self.work, "orca-prefs")
        os.makedirs(d, exist_ok=True)
        # Orca writes its defaults there at its first start; no setup assistant is shown.
        return d

    def run(self, argv, timeout=5.0):
        try:
            return subprocess.run(argv, env=self.env, capture_output=True, text=True,
                                  timeout=timeout)
        except subprocess.TimeoutExpired:
            return subprocess.CompletedProcess(argv, 124, "", "timed out")

    # The program.
    def preferences_path(self):
        return os.path.join(self.env["XDG_CONFIG_HOME"], "vellora.txt")

    def write_preferences(self, first_start, top=70, left=10):
        path = self.preferences_path()
        if first_start:
            if os.path.exists(path):
                os.remove(path)
            return
        with open(path, "w") as f:
            f.write("#Window1Position %d\t%d\t400\t492\n#InputFontColor Black\n" % (top, left) +
                    "#InputFontSize 36\n#InputFontFamily Arial\n#InputBold True\n"
                    "#SpeakingRate 200\n#InitialLaunch False\n")

    def start_program(self):
        self.env["VELLORA_UPDATE_HOST"] = "127.0.0.1:%d" % self.server.port
        self.app = self.start("vellora", [os.path.join(self.build, "bin", "vellora")])
        return self.app

    def probe(self, *args, timeout=10.0):
        r = self.run(["/usr/bin/python3", PROBE, str(self.app.pid)] + [str(a) for a in args], timeout)
        try:
            return json.loads(r.stdout)
        except ValueError:
            return {"error": (r.stderr or r.stdout or "no answer").strip()[-300:]}


def wait_for(predicate, seconds, what):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            if predicate():
                return True
        except Exception:
            pass
        time.sleep(0.1)
    raise TimeoutError("%s did not come up within %g s" % (what, seconds))


def read_line_within(f, seconds, what):
    result = []
    t = threading.Thread(target=lambda: result.append(f.readline()), daemon=True)
    t.start()
    t.join(seconds)
    if not result or not result[0]:
        raise TimeoutError("%s did not start within %g s" % (what, seconds))
    return result[0]


def read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return ""


# ---- the update server ----------------------------------------------------------------------

class UpdateServer(http.server.ThreadingHTTPServer):
    """Answers the update check after holding it, so that the waiting window stays up."""
    daemon_threads = True

    def __init__(self, hold):
        self.hold = hold
        self.release = threading.Event()
        self.requests = 0
        super().__init__(("127.0.0.1", 0), UpdateHandler)
        self.port = self.server_address[1]
        threading.Thread(target=self.serve_forever, daemon=True).start()


class UpdateHandler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.server.requests += 1
        self.server.release.wait(self.server.hold)
        body = (b"<Updates><CurrentVersion>99.0.0</CurrentVersion>"
                b"<Description>A check from the desktop harness.</Description>"
                b"<Free>Yes</Free></Updates>")
        try:
            self.send_response(200)
            self.send_header("Content-Type", "text/xml")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        except OSError:
            pass

    def log_message(self, *args):
        pass


# ---- what Orca said -------------------------------------------------------------------------

RECORD = re.compile(r"^\d\d:\d\d:\d\d\.\d+ - ")
SPOKEN = re.compile(r"SPEECH OUTPUT: '(.*?)'(?: voice=\S+)?\s*(?:\{.*\})?\s*$", re.S)


def utterances(text):
    """The utterances in a stretch of Orca's debug log, in order.

    A record starts with a time stamp; Orca indents the further lines of a record by 18 blanks.
    """
    records, current = [], None
    for line in text.split("\n"):
        if RECORD.match(line):
            if current is not None:
                records.append(current)
            current = line[RECORD.match(line).end():]
        elif current is not None and line.startswith(" " * 18):
            current += "\n" + line[18:]
        elif current is not None:
            current += "\n" + line
    if current is not None:
        records.append(current)
    said = []
    for r in records:
        if r.startswith("SPEECH OUTPUT: '"):
            m = SPOKEN.match(r)
            said.append(m.group(1) if m else r[len("SPEECH OUTPUT: '"):])
    return said


# ---- the steps ------------------------------------------------------------------------------

class Checker:
    def __init__(self, world):
        self.w = world
        self.results = []  # (step, verdict, detail)
        self.mark = 0

    # Keys go through the X server to the focused window, as a person's would.
    def key(self, *keys, delay_ms=120):
        for k in keys:
            self.w.run(["xdotool", "key", "--clearmodifiers", "--delay", str(delay_ms), k], 5)
            time.sleep(0.25)

    def window_ids(self, title):
        """The program's windows of that title that the window manager shows."""
        r = self.w.run(["wmctrl", "-lp"], 5)
        ids = []
        for line in r.stdout.splitlines():
            f = line.split(None, 4)
            if len(f) == 5 and f[2] == str(self.w.app.pid) and f[4].strip() == title:
                ids.append(int(f[0], 16))
        return ids

    def active_title(self):
        r = self.w.run(["xdotool", "getactivewindow", "getwindowname"], 5)
        return r.stdout.strip() if r.returncode == 0 else ""

    def wait_window(self, title, present=True, seconds=6.0):
        try:
            wait_for(lambda: bool(self.window_ids(title)) == present, seconds, title)
            return True
        except TimeoutError:
            return False

    def wait_active(self, title, seconds=6.0):
        try:
            wait_for(lambda: self.active_title() == title, seconds, title)
            return True
        except TimeoutError:
            return False

    def geometry(self, wid):
        r = self.w.run(["xdotool", "getwindowgeometry", "--shell", str(wid)], 5)
        g = dict(line.split("=", 1) for line in r.stdout.split() if "=" in line)
        return tuple(int(g.get(k, -1)) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def net_wm_state(self, wid):
        return self.w.run(["xprop", "-id", str(wid), "_NET_WM_STATE"], 5).stdout.strip()

    def begin(self):
        self.mark = len(read(self.w.orca_log))

    def said(self, settle=1.2, most=6.0):
        """What Orca said since begin(), once its log has been quiet for `settle` seconds."""
        end = time.monotonic() + most
        size, quiet_since = -1, time.monotonic()
        while time.monotonic() < end:
            now = len(read(self.w.orca_log))
            if now != size:
                size, quiet_since = now, time.monotonic()
            elif time.monotonic() - quiet_since >= settle:
                break
            time.sleep(0.1)
        return [u for u in utterances(read(self.w.orca_log)[self.mark:]) if u.strip()]

    def report(self, step, spoken, checks=()):
        print("\n== %s" % step)
        for u in spoken:
            print("   Orca: %s" % u.replace("\n", " / "))
        if not spoken:
            print("   Orca: (nothing)")
        for label, ok, detail in checks:
            verdict = "PASS" if ok else "FAIL"
            self.results.append((step + ": " + label, verdict))
            print("   %s %s%s" % (verdict, label, (" (%s)" % detail) if detail else ""))
        sys.stdout.flush()

    def note(self, step, text):
        print("   note: %s" % text)

    # Menus are reached as a person does: F10 opens the first menu, Right moves to the next
    # one with its first item current (Qt does that whether or not F10 made an item current),
    # Down moves on in it, Return chooses.
    def choose(self, rights, downs):
        self.key("F10")
        time.sleep(0.3)
        for _ in range(rights):
            self.key("Right")
        for _ in range(downs):
            self.key("Down")
        self.key("Return")

    def close_by_wm(self, title):
        """Closes a window that a step left open, through the window manager."""
        if self.window_ids(title):
            self.w.run(["wmctrl", "-c", title], 5)
            self.wait_window(title, present=False, seconds=3.0)
            self.said(settle=0.8, most=3)

    def activate(self, title):
        ids = self.window_ids(title)
        if ids:
            self.w.run(["xdotool", "windowactivate", "--sync", str(ids[-1])], 5)
        return self.wait_active(title, 3)

    def shown_titles(self):
        r = self.w.run(["wmctrl", "-l"], 5)
        return [line.split(None, 3)[-1] for line in r.stdout.splitlines() if len(line.split()) > 3]

    def screenshot(self, name):
        path = os.path.join(self.w.out, name + ".png")
        r = self.w.run(["import", "-window", "root", path], 10)
        return path if r.returncode == 0 else None


def contains(spoken, *words):
    text = " ".join(spoken)
    return all(w in text for w in words)


def fixed_size(c, title):
    """Tries to resize and to maximise a window designed not resizeable; its size must hold."""
    ids = c.window_ids(title)
    if not ids:
        return [("window found for resizing", False, "")]
    wid = ids[-1]
    before = c.geometry(wid)
    c.w.run(["xdotool", "windowsize", str(wid), "900", "700"], 5)
    time.sleep(0.8)
    resized = c.geometry(wid)
    c.w.run(["wmctrl", "-i", "-r", hex(wid), "-b", "add,maximized_vert,maximized_horz"], 5)
    time.sleep(0.8)
    maximised = c.geometry(wid)
    state = c.net_wm_state(wid).split("=", 1)[-1].strip()
    # Put back as it was, so that the next steps see the window as designed.
    c.w.run(["wmctrl", "-i", "-r", hex(wid), "-b", "remove,maximized_vert,maximized_horz"], 5)
    c.w.run(["xdotool", "windowsize", str(wid), str(before[2]), str(before[3])], 5)
    time.sleep(0.5)
    c.said(settle=0.6, most=3)
    size = lambda g: "%dx%d" % g[2:]
    return [
        ("size holds when resized", size(resized) == size(before),
         "%s -> %s" % (size(before), size(resized))),
        ("size holds when maximised", size(maximised) == size(before) and "MAXIMIZED" not in state,
         "%s -> %s, %s" % (size(before), size(maximised), state or "no state")),
    ]


def closes(c, step, title, keys, opener):
    """Each key in `keys` must close the window `title`, opened afresh by `opener` for each."""
    for k in keys:
        c.close_by_wm(title)
        opener(c)
        if not c.wait_active(title):
            shot = c.screenshot("not-open-%s-%s" % (re.sub(r"\W", "", title), k))
            c.report("%s: %s" % (step, k), c.said(), [
                ("%s open before %s" % (title, k), False,
                 "active: %r, screenshot %s" % (c.active_title(), shot))])
            continue
        c.said()
        c.begin()
        c.key(k)
        gone = c.wait_window(title, present=False, seconds=3.0)
        spoken = c.said()
        c.report("%s: %s" % (step, k), spoken, [("%s closes %s" % (k, title), gone,
                                                   "" if gone else "active: %r, shown: %s" % (
                                                       c.active_title(), c.shown_titles()))])
    c.close_by_wm(title)


def links(build):
    """The addresses the program was built with, by name (kWebSite, kAuthorMail, ...)."""
    text = read(os.path.join(build, "help", "generated", "help", "links.h"))
    return dict(re.findall(r'(k\w+) = R"vellora\((.*?)\)vellora"', text))


def opened_urls(w):
    return read(os.path.join(w.out, "opened-urls.txt")).split()


MAIN = "Vellora"


def step_start(c):
    w = c.w
    c.begin()
    w.start_program()
    up = c.wait_active(MAIN, 20)
    spoken = c.said(settle=2.0, most=10)
    windows = w.probe("windows").get("windows", [])
    role = [x["role"] for x in windows if x["name"] == MAIN]
    c.report("start (not the first)", spoken, [
        ("main window active", up, c.active_title()),
        ("main window is a frame", role == ["frame"], ",".join(role) or "not in the tree"),
    ])
    if up:
        # Text to restyle later; each word is echoed by the program's own speech.
        w.run(["xdotool", "type", "--delay", "60", "Hello world "], 10)
        c.said()
    return up


def step_f10(c, title):
    c.activate(title)
    c.begin()
    c.key("F10")
    spoken = c.said()
    c.report("F10 in %s" % title, spoken,
             [("the first menu's first item is spoken", contains(spoken, "Print Help"), "")])
    c.key("Escape", "Escape")
    c.said()


def open_input(c):
    c.activate(MAIN)
    c.choose(2, 0)


def open_self_test(c):
    c.activate(MAIN)
    c.choose(3, 0)


def open_update(c):
    open_self_test(c)
    if c.wait_active("Self Test"):
        c.key("Return")  # Check for Updates is the default button


def open_about(c):
    c.activate(MAIN)
    c.choose(4, 1)


def open_help(c):
    c.activate(MAIN)
    c.choose(4, 0)


def window_info(c, title):
    for x in c.w.probe("windows").get("windows", []):
        if x["name"] == title:
            return x
    return {}


def opens(c, title, opener, said_texts):
    """Opens a secondary window; checks what Orca said of it and its place in the tree."""
    c.close_by_wm(title)
    c.begin()
    opener(c)
    up = c.wait_active(title)
    spoken = c.said()
    info = window_info(c, title)
    checks = [("%s active" % title, up, c.active_title())]
    if said_texts:
        checks.append(("its texts are spoken: %s" % " + ".join(said_texts),
                       all(re.search(t, " ".join(spoken)) for t in said_texts), ""))
    checks.append(("no empty menu bar", all(n > 0 for n in info.get("menubars", [])),
                   "menu bars with %s items" % info.get("menubars")))
    c.report("%s opens" % title, spoken, checks)
    print("   tree: %s, description %r" % (info.get("role"), info.get("description")))
    return up


def step_input_style(c):
    w = c.w
    if opens(c, "Input Style", open_input, []):
        before = w.probe("text-attrs", MAIN).get("attributes", {})
        c.begin()
        r = w.probe("action", "Input Style", "radio button", "Courier", "Toggle")
        time.sleep(0.8)
        after = w.probe("text-attrs", MAIN).get("attributes", {})
        spoken = c.said()
        family = lambda a: a.get("family-name", "?").strip('"')
        c.report("Input Style: Courier chosen through the accessible Toggle action", spoken, [
            ("the action ran", r.get("done") is True, r.get("error", "")),
            ("the text is restyled", family(after) == "Courier",
             "family %s -> %s" % (family(before), family(after))),
        ])
        w.probe("action", "Input Style", "radio button", "Arial", "Toggle")
        c.report("Input Style: fixed size", [], fixed_size(c, "Input Style"))
    closes(c, "Input Style", "Input Style", ["Escape", "ctrl+w"], open_input)


def step_self_test(c):
    if opens(c, "Self Test", open_self_test, [r"Version:", r"\d+\.\d+\.\d+"]):
        c.report("Self Test: fixed size", [], fixed_size(c, "Self Test"))
    closes(c, "Self Test", "Self Test", ["Escape", "ctrl+w"], open_self_test)


def step_update(c):
    asked = c.w.server.requests
    if opens(c, "Update", open_update, [r"Checking for updates"]):
        c.report("Update: the request reached the server", [],
                 [("request held by the server", c.w.server.requests > asked, "")])
        c.report("Update: fixed size", [], fixed_size(c, "Update"))
    closes(c, "Update", "Update", ["Escape", "ctrl+w"], open_update)


def step_about(c):
    addresses = links(c.w.build)
    buttons = {"Email Author": addresses.get("kAuthorMail"),
               "Visit Web Site": addresses.get("kWebSite"),
               "Support Norvale": addresses.get("kOrderPage")}
    if opens(c, "About...", open_about, [r"Vellora", r"Version:", r"\d+\.\d+\.\d+",
                                         r"A speaking"]):
        c.report("About...: fixed size", [], fixed_size(c, "About..."))
        # Return must press the button Orca announced last: first the one focused at opening,
        # then the next after Tab.
        for keys in ([], ["Tab"]):
            c.close_by_wm("About...")
            c.begin()
            open_about(c)
            c.wait_active("About...")
            if keys:
                c.said()
                c.begin()
                c.key(*keys)
            spoken = c.said()
            announced = [b for b in buttons if spoken and b in spoken[-1]]
            seen = len(opened_urls(c.w))
            c.begin()
            c.key("Return")
            time.sleep(1.5)
            urls = opened_urls(c.w)[seen:]
            want = buttons.get(announced[0]) if announced else None
            c.report("About...: %sReturn" % ("".join(k + " then " for k in keys)),
                     spoken + c.said(), [
                         ("Return presses the announced button (%s)" %
                          (announced[0] if announced else "none announced"),
                          bool(want) and urls == [want], "opened %s" % (urls or "nothing")),
                     ])
    closes(c, "About...", "About...", ["Escape", "ctrl+w"], open_about)


def help_title(c):
    for x in c.w.probe("windows").get("windows", []):
        if x["name"] != MAIN and x.get("menubars") and "showing" in x.get("states", []):
            return x["name"]
    return None


def step_help(c):
    c.begin()
    open_help(c)
    time.sleep(1.5)
    title = help_title(c)
    up = bool(title) and c.wait_active(title)
    spoken = c.said()
    view = c.w.probe("scroll", title) if title else {}
    bars = view.get("bars", [])
    top = bool(bars) and all(b["value"] == b["minimum"] for b in bars)
    shot = c.screenshot("help-window")
    c.report("Help window opens", spoken, [
        ("help window active", up, c.active_title()),
        ("its first line is in view", top or (view.get("bars") == [] and "error" not in view),
         "first line %r; scroll bars %s" % (view.get("first_line"), bars or view.get("error"))),
    ])
    if shot:
        print("   screenshot: %s" % shot)
    if not up:
        return
    step_f10(c, title)

    def reopen(c):
        if not c.window_ids(title):
            open_help(c)
    closes(c, "Help window", title, ["ctrl+w", "Escape"], reopen)


def step_print(c):
    title = None
    for start in (MAIN,):
        c.activate(start)
        c.begin()
        c.key("ctrl+p")
        try:
            wait_for(lambda: c.active_title() not in ("", start), 6, "the print dialog")
        except TimeoutError:
            pass
        title = c.active_title()
        spoken = c.said(settle=1.5)
        tree = c.w.probe("tree", title).get("tree", []) if title != start else []
        combos = [l.strip() for l in tree if l.strip().startswith("combo box")]
        printer = re.match(r"combo box '(.*)' desc", combos[0]).group(1) if combos else None
        c.report("Print dialog (File > Print Help) in %s" % start, spoken, [
            ("a print dialog is active", title not in ("", start), title),
            # Qt's own print dialog: its printer combo box is named by its "Name:" label and
            # exposes no selection, so the screen reader finds no value to say. Not ours to mend.
            ("the printer's name is spoken (%s; Qt's own dialog)" % printer,
             bool(printer) and contains(spoken, printer), ""),
        ])
        if combos:
            print("   tree: %s" % combos[0])
        shot = c.screenshot("print-dialog")
        if shot:
            print("   screenshot: %s" % shot)
        if title not in ("", start):
            c.key("Escape")
            c.wait_active(start, 4)
            c.said()


def step_spelling(c):
    """A misspelt word typed into the main text is marked for a screen reader as the desktop's
    editors mark theirs, and Orca, as it comes, says "misspelled" when the caret enters it."""
    w = c.w
    c.activate(MAIN)
    c.key("ctrl+End")
    w.run(["xdotool", "type", "--delay", "60", "teh cat "], 10)
    time.sleep(0.8)
    c.said()
    n = w.probe("text-attrs", MAIN).get("characters", 0)
    inside = w.probe("text-attrs", MAIN, str(n - 7))   # the "e" of "teh"
    beside = w.probe("text-attrs", MAIN, str(n - 3))   # the "a" of "cat"
    c.report("spelling: the text's attributes", [], [
        ("invalid:spelling over the misspelt word",
         inside.get("attributes", {}).get("invalid") == "spelling" and
         inside.get("run") == [n - 8, n - 5], "%s %s" % (inside.get("run"), inside.get("attributes"))),
        ("none over a word spelt right", "invalid" not in beside.get("attributes", {}),
         "%s" % beside.get("attributes")),
    ])
    c.begin()
    c.key("ctrl+Left")  # to "cat"
    right = c.said()
    c.report("spelling: the caret moves by word to a word spelt right", right, [
        ("the word is spoken", contains(right, "cat"), ""),
        ("nothing is said of its spelling", not contains(right, "misspelled"), ""),
    ])
    c.begin()
    c.key("ctrl+Left")  # to "teh"
    wrong = c.said()
    c.report("spelling: the caret moves by word into the misspelt word", wrong, [
        ("Orca says misspelled", contains(wrong, "misspelled"), ""),
    ])
    c.begin()
    c.key("Left", "Right", "Right")  # out by a letter, and in again
    letters = c.said()
    c.report("spelling: the caret moves by letter into the misspelt word", letters, [
        ("Orca says misspelled", contains(letters, "misspelled"), ""),
    ])
    c.key("ctrl+End")


STEPS = [("f10", lambda c: step_f10(c, MAIN)), ("spelling", step_spelling),
         ("input", step_input_style),
         ("selftest", step_self_test), ("update", step_update), ("about", step_about),
         ("help", step_help), ("print", step_print)]


def run_steps(c, only):
    if not step_start(c):
        return
    for name, step in STEPS:
        if only and name not in only:
            continue
        try:
            step(c)
        except Exception as e:  # one broken step does not hide the others' results
            c.report("%s (the step itself failed)" % name, [],
                     [("step ran", False, "%s: %s" % (type(e).__name__, e))])


def stored_places(c):
    """Every stored place of the main window is applied, and saved back unchanged."""
    w = c.w
    for top, left in ((0, 0), (0, 70), (10, 0), (40, 90)):
        w.write_preferences(first_start=False, top=top, left=left)
        c.begin()
        w.start_program()
        up = c.wait_active(MAIN, 20)
        time.sleep(1.0)
        ids = c.window_ids(MAIN)
        x, y = c.geometry(ids[0])[:2] if ids else (-1, -1)
        w.stop(w.app)
        saved = re.search(r"#Window1Position (-?\d+)\t(-?\d+)", read(w.preferences_path()))
        saved = (int(saved.group(1)), int(saved.group(2))) if saved else None
        c.report("stored place top %d, left %d" % (top, left), [], [
            # The window manager puts its frame at the place asked for: the window's own area
            # is then the frame's border and title further in.
            ("the window opens there", up and 0 <= x - left <= 10 and 0 <= y - top <= 40,
             "its area at left %d, top %d" % (x, y)),
            ("the same place is saved", saved == (top, left), str(saved)),
        ])


def first_start(c):
    """The first start shows a message box, then the help window; both must be spoken."""
    w = c.w
    w.write_preferences(first_start=True)
    c.begin()
    w.start_program()
    try:
        wait_for(lambda: c.active_title() != "", 20, "a window")
    except TimeoutError:
        pass
    time.sleep(1.5)
    title = c.active_title()
    spoken = c.said(settle=2.0, most=10)
    windows = w.probe("windows").get("windows", [])
    active = [x for x in windows if "active" in x["states"]]
    c.report("first start", spoken, [
        ("a message is active", [x["role"] for x in active] == ["alert"],
         ", ".join("%s %r" % (x["role"], x["name"]) for x in active)),
        ("more than its title is spoken", len(" ".join(spoken)) > len(title) + 30, ""),
    ])
    for x in windows:
        print("   tree: %r %s, description %r" % (x["name"], x["role"], x["description"]))
    c.begin()
    c.key("Return")
    time.sleep(1.5)
    after = c.active_title()
    spoken = c.said()
    view = w.probe("scroll", after) if after not in ("", MAIN) else {}
    c.report("first start: the message answered", spoken, [
        ("the help window is active", after not in ("", MAIN), after),
        ("its first line is in view", bool(view.get("bars")) and
         all(b["value"] == b["minimum"] for b in view["bars"]), str(view.get("bars"))),
    ])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--out", help="folder for the logs and screenshots (kept)")
    ap.add_argument("--keep", action="store_true", help="keep the private home folder")
    ap.add_argument("--only", default="", help="comma-separated steps: f10,spelling,input,selftest,"
                    "update,about,help,print,places,first")
    ap.add_argument("--hold", type=float, default=30.0,
                    help="seconds the update server holds its reply")
    ap.add_argument("--explore", type=float, default=0,
                    help="start the program and leave everything up this many seconds")
    args = ap.parse_args()
    only = {s for s in args.only.split(",") if s}

    world = World(args.build, args.out, args.keep)
    c = Checker(world)
    print("desktop check: logs in %s" % world.out)
    try:
        world.server = UpdateServer(args.hold)
        world.start_desktop()
        if args.explore:
            world.write_preferences(first_start=False)
            world.start_program()
            with open(os.path.join(world.out, "env.sh"), "w") as f:
                for k, v in sorted(world.env.items()):
                    f.write("export %s='%s'\n" % (k, v))
                f.write("export VELLORA_PID=%d\n" % world.app.pid)
            print("desktop check: exploring for %g s; source %s/env.sh" % (args.explore,
                                                                         world.out))
            sys.stdout.flush()
            time.sleep(args.explore)
            only = {"none"}
        if not only or only - {"first", "places"}:
            world.write_preferences(first_start=False)
            if "none" not in only:
                run_steps(c, only)
            world.stop(world.app)
        if (not only or "places" in only) and not args.explore:
            stored_places(c)
        if (not only or "first" in only) and not args.explore:
            first_start(c)
            world.stop(world.app)
    except TimeoutError as e:
        print("desktop check: %s" % e)
        c.results.append(("setup", "FAIL"))
    finally:
        world.close()
    passed = sum(1 for _s, v in c.results if v == "PASS")
    failed = len(c.results) - passed
    print("\n%d passed, %d failed" % (passed, failed))
    for s, v in c.results:
        if v != "PASS":
            print("   FAIL %s" % s)
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
