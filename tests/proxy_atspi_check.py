#!/usr/bin/python3
# The real window logs in to a saved site through a real SOCKS5 proxy
# (Debian's microsocks, with a login), driven through the accessibility bus:
# a wrong proxy password fails with the proxy's message in a box and in the
# pane, and the site never hears of it; the right one logs in, and the site
# sees the proxy's address (microsocks connects out from 127.0.0.2).
#
# ctest runs it inside xvfb-run and dbus-run-session (tests/gui.cmake).
#   proxy_atspi_check.py KORVASTEL
import os
import socket
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from atspi_program import (Program, check, failures, find, finish, make_home, press, pyatspi,  # noqa: E402
                           wait_for, write_sites)

MICROSOCKS = "/usr/bin/microsocks"
if not os.path.exists(MICROSOCKS):
    print("skipped: microsocks is not installed (apt-get install microsocks)")
    sys.exit(77)
korvastel = sys.argv[1]


class Site:
    """A site that takes any login and records who connected and what came."""

    def __init__(self):
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(4)
        self.port = self.listener.getsockname()[1]
        self.peers, self.received = [], b""
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            conn, peer = self.listener.accept()
            self.peers.append(peer[0])
            conn.sendall(b"220 proxied site\r\n")
            for line in conn.makefile("rb"):
                self.received += line
                conn.sendall(b"331 password\r\n" if line.startswith(b"USER") else b"230 logged in\r\n")


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def connect_through_site_manager(app, proxy_password):
    press(app.node("Site Manager", ("push button",)))
    dialog = wait_for(lambda: find(app.app, lambda n: n.getRoleName() == "dialog" and n.name == "Site Manager"))
    for name, value in (("Password", "secret"), ("Proxy password", proxy_password)):
        field = find(dialog, lambda n: n.name == name and n.getRoleName() == "password text")
        check(field is not None, "the Site Manager's %s field is a password field" % name)
        field.queryEditableText().setTextContents(value)
    press(find(dialog, lambda n: n.name == "Connect" and n.getRoleName() == "push button"))


def pane_with(app, words):
    def look():
        pane = find(app.app, lambda n: n.name == "output" and n.getRoleName() == "text"
                    and words in n.queryText().getText(0, -1))
        return pane
    return wait_for(look)


home = make_home("korvastel-proxy-atspi-")
site = Site()
proxy_port = free_port()
proxy = subprocess.Popen([MICROSOCKS, "-i", "127.0.0.1", "-p", str(proxy_port), "-u", "gate", "-P", "k3y",
                          "-b", "127.0.0.2"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
write_sites(home, "[proxied]\naddress=127.0.0.1:%d\nlogin=admin\nproxy=socks5://gate@127.0.0.1:%d\n"
            % (site.port, proxy_port))
app = None
try:
    def proxy_up():
        try:
            socket.create_connection(("127.0.0.1", proxy_port)).close()
            return True
        except OSError:
            return False
    check(wait_for(proxy_up) is not None, "microsocks came up")
    pyatspi.Registry.getDesktop(0)  # the bus and its registry up before the program starts
    app = Program(korvastel, home)

    connect_through_site_manager(app, "wrong")
    words = "the proxy refused the login"
    box = wait_for(lambda: find(app.app, lambda n: n.getRoleName() in ("alert", "dialog")
                                and n.name == "Can't connect!"))
    check(box is not None and find(box, lambda n: words in (n.name or "")) is not None,
          "a box \"Can't connect!\" says %s" % words)
    if box is not None:
        press(find(box, lambda n: n.getRoleName() == "push button"))
    check(pane_with(app, ">" + words + ".") is not None, "the pane says so too")
    time.sleep(0.5)
    check(site.peers == [], "the site saw no connection: %r" % site.peers)

    connect_through_site_manager(app, "k3y")
    check(pane_with(app, "230 logged in") is not None, "the right proxy password logs in")
    check(site.received == b"USER admin\r\nPASS secret\r\n", "the site got the login: %r" % site.received)
    check(site.peers == ["127.0.0.2"], "the site saw the proxy's address, not ours: %r" % site.peers)
finally:
    finish([app], None, home)
    proxy.kill()
    proxy.wait()
sys.exit(1 if failures else 0)
