# What the X11 end-to-end checks share: the real program started under the X
# server of xvfb-run, found on the accessibility bus and driven by xdotool,
# and the demo site server on a free port. A check imports it after making
# sure pyatspi is there (it exits 77, "skipped", when it is not).
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

try:
    import pyatspi
    from gi.repository import GLib  # noqa: F401 (the pane check's event loop)
except ImportError as e:
    print("skipped: python3-pyatspi is missing (%s)" % e)
    sys.exit(77)

failures = []


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


def wait_for(get, limit_s=20.0):
    deadline = time.time() + limit_s
    while time.time() < deadline:
        hit = get()
        if hit:
            return hit
        time.sleep(0.1)
    return None


def press(node):
    """Its press (or click) action, as a screen reader's user would."""
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i).lower() in ("press", "click"):
            action.doAction(i)
            time.sleep(0.2)
            return
    raise RuntimeError("%s can't be pressed" % node.name)


def make_home(prefix, command_list=""):
    """A throwaway HOME and working folder holding commandList.ini (empty: no start-up box)."""
    home = tempfile.mkdtemp(prefix=prefix)
    with open(os.path.join(home, "commandList.ini"), "w") as f:
        f.write(command_list)
    return home


def write_sites(home, text):
    """The saved sites of the program started with this HOME; their path."""
    sites = os.path.join(home, "Dunvarrow", "korvastel-sites.conf")
    os.makedirs(os.path.dirname(sites), mode=0o700, exist_ok=True)
    with open(sites, "w") as f:
        f.write(text)
    return sites


def finish(programs, server, home):
    """Ends what a check started (in its finally: an exception still fails the check)."""
    for program in programs:
        if program:
            program.end()
    if server:
        server.kill()
    shutil.rmtree(home, ignore_errors=True)


def xdotool(*args):
    subprocess.run(["xdotool"] + list(args), check=False)


def demo_site(siteserver, *options):
    """The demo site server on a free port of 127.0.0.1: (process, port)."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = str(probe.getsockname()[1])
    server = subprocess.Popen([siteserver, "--demo", "--port", port] + list(options),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # The accessibility bus and its registry up before the program starts:
    # one that starts before them may never join the bus.
    pyatspi.Registry.getDesktop(0)
    return server, port


class Program:
    def __init__(self, korvastel, home, args=()):
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home, QT_QPA_PLATFORM="xcb",
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.proc = subprocess.Popen([korvastel] + list(args), cwd=home, env=env,
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
        return self.node(name).queryText().getText(0, -1)

    def click(self, n, keys=()):
        x, y, w, h = n.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        xdotool("mousemove", str(x + w // 2), str(y + h // 2), "click", "1", *keys)
        time.sleep(0.2)

    def end(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()
