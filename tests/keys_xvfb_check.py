#!/usr/bin/python3
# Keys as a new user types them into the real program under an X server:
# from the first key after start-up they go to the field that shows the
# caret, Enter in an edit does nothing (no "Debug" box, the window stays),
# Escape closes the find bar and elsewhere ends the program. Fields are read
# and placed through the accessibility bus; keys and clicks come from xdotool.
#
# ctest runs it inside xvfb-run and dbus-run-session (tests/gui.cmake).
#   keys_xvfb_check.py KORVASTEL SITESERVER
import os
import socket
import subprocess
import sys
import tempfile
import time

try:
    import pyatspi
except ImportError as e:
    print("skipped: python3-pyatspi is missing (%s)" % e)
    sys.exit(77)

korvastel, siteserver = sys.argv[1], sys.argv[2]
with socket.socket() as probe:  # a free port for the demo server
    probe.bind(("127.0.0.1", 0))
    port = str(probe.getsockname()[1])
failures = []

# One command with all nine arguments, so every argument field takes keys.
COMMAND_LIST = ("[all]\ngroup = Keys\ncmdDsc = nine\ncmd = ECHO %1 %2 %3 %4 %5 %6 %7 %8 %9\n" +
                "".join("param%d = arg %d\n" % (n, n) for n in range(1, 10)))


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)
    return ok


def find(node, pred):
    try:
        if pred(node):
            return node
        for i in range(node.childCount):
            hit = find(node.getChildAtIndex(i), pred)
            if hit:
                return hit
    except Exception:
        pass
    return None


def xdotool(*args):
    subprocess.run(["xdotool"] + list(args), check=False)


def debug_boxes():
    # A box is a window of its own, named after its caption.
    r = subprocess.run(["xdotool", "search", "--name", "^Debug$"], capture_output=True, text=True)
    return r.stdout.split()


def wait_until(done, limit_s=10.0):
    deadline = time.time() + limit_s
    while time.time() < deadline:
        if done():
            return True
        time.sleep(0.1)
    return done()


class Program:
    def __init__(self, home, args):
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home, QT_QPA_PLATFORM="xcb",
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.proc = subprocess.Popen([korvastel] + args, cwd=home, env=env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.app = None
        for _ in range(300):  # a sanitizer build on a busy machine starts slowly
            desk = pyatspi.Registry.getDesktop(0)
            for i in range(desk.childCount):
                a = desk.getChildAtIndex(i)
                if a is not None and "korvastel" in (a.name or "").lower() and a.get_process_id() == self.proc.pid:
                    self.app = a
            # The start-up tick has run once the title is the program's.
            if self.app is not None and find(self.app, lambda n: n.getRoleName() == "dialog"
                                             and (n.name or "").startswith("-= Korvastel")):
                break
            time.sleep(0.1)
        if self.app is None:
            raise RuntimeError("the program never joined the accessibility bus")
        time.sleep(0.3)

    def node(self, name, roles=("text", "password text")):
        return find(self.app, lambda n: n.name == name and n.getRoleName() in roles)

    def text(self, name):
        t = self.node(name).queryText()
        return t.getText(0, -1)

    def click(self, n):
        x, y, w, h = n.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        xdotool("mousemove", str(x + w // 2), str(y + h // 2), "click", "1")
        time.sleep(0.2)

    def pane_text(self):
        return self.text("output")

    def end(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()


def enter_without_box(what):
    xdotool("key", "Return")
    time.sleep(0.4)
    boxes = debug_boxes()
    check(not boxes, "Enter in %s shows no Debug box" % what)
    for b in boxes:  # answer it, so the next check starts clean
        xdotool("windowactivate", "--sync", b, "key", "Return")
        time.sleep(0.2)


home = tempfile.mkdtemp(prefix="korvastel-keys-")
with open(os.path.join(home, "commandList.ini"), "w") as f:
    f.write(COMMAND_LIST)
server = subprocess.Popen([siteserver, "--demo", "--port", port], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
pyatspi.Registry.getDesktop(0)  # the accessibility bus up before the program starts
programs = []
try:
    # 1. Started with an address: the password is typed at once and sent with Enter.
    p = Program(home, ["ftp://admin@127.0.0.1:" + port])
    programs.append(p)
    xdotool("type", "--delay", "20", "korvastel")
    enter_without_box("the password field right after start-up")
    check(p.proc.poll() is None, "the window stays after Enter")
    check(p.node("password:").queryText().characterCount == len("korvastel"),
          "the first keys went to the password field")
    p.click(p.node("Connect", ("push button",)))
    check(wait_until(lambda: "\n230" in p.pane_text()), "the typed password logs in")

    # 2. Every edit and the pane, each clicked into: a key goes there, Enter does nothing.
    p.click(p.node("command", ("combo box",)))
    xdotool("key", "Return")  # picks the command from the open list: all nine arguments take text
    check(wait_until(lambda: p.node("Argument 9").getState().contains(pyatspi.STATE_SENSITIVE), 5),
          "the command with nine arguments is chosen")
    edits = ["server:", "Port", "login:", "Command:", "send every n seconds:", "raw command"] + \
        ["Argument %d" % n for n in range(1, 10)]
    for name in edits:
        field = p.node(name)
        before = p.text(name)
        p.click(field)
        xdotool("key", "End", "7")
        time.sleep(0.2)
        check(p.text(name) == before + "7", "%s took the key: %r" % (name, p.text(name)))
        enter_without_box("'%s'" % name)
    p.click(p.node("password:"))
    enter_without_box("the password field")
    pane = p.node("output", ("text",))
    p.click(pane)
    enter_without_box("the pane")
    check(p.proc.poll() is None, "Enter in the edits and the pane left the window open")

    # 3. Escape: the find bar closes and the program runs on; in an edit the program ends.
    xdotool("key", "ctrl+f")
    check(wait_until(lambda: find(p.app, lambda n: n.name == "Match case" and
                                  n.getState().contains(pyatspi.STATE_SHOWING)) is not None, 5),
          "Ctrl+F opens the find bar")
    xdotool("key", "Escape")
    check(wait_until(lambda: find(p.app, lambda n: n.name == "Match case" and
                                  n.getState().contains(pyatspi.STATE_SHOWING)) is None, 5),
          "Escape closes the find bar")
    time.sleep(0.3)
    check(p.proc.poll() is None, "the program runs on after the find bar's Escape")
    p.click(p.node("raw command"))
    xdotool("key", "Escape")
    check(wait_until(lambda: p.proc.poll() is not None, 5), "Escape in an edit ends the program")

    # 4. Started without an address: the first keys go to the server field.
    p = Program(home, [])
    programs.append(p)
    xdotool("type", "--delay", "20", "127.0.0.1")
    enter_without_box("the server field right after start-up")
    check(p.text("server:") == "127.0.0.1", "the first keys went to the server field: %r" % p.text("server:"))
    check(p.proc.poll() is None, "the window stays after Enter")
finally:
    for p in programs:
        p.end()
    server.kill()
    subprocess.run(["rm", "-rf", home])
sys.exit(1 if failures else 0)
