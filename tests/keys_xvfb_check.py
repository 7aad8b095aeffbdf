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
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from atspi_program import (Program, check, demo_site, failures, find, finish, make_home,  # noqa: E402
                           pyatspi, wait_for, xdotool)

korvastel, siteserver = sys.argv[1], sys.argv[2]

# One command with all nine arguments, so every argument field takes keys.
COMMAND_LIST = ("[all]\ngroup = Keys\ncmdDsc = nine\ncmd = ECHO %1 %2 %3 %4 %5 %6 %7 %8 %9\n" +
                "".join("param%d = arg %d\n" % (n, n) for n in range(1, 10)))


def debug_boxes():
    # A box is a window of its own, named after its caption.
    r = subprocess.run(["xdotool", "search", "--name", "^Debug$"], capture_output=True, text=True)
    return r.stdout.split()


def enter_without_box(what):
    xdotool("key", "Return")
    time.sleep(0.4)
    boxes = debug_boxes()
    check(not boxes, "Enter in %s shows no Debug box" % what)
    for b in boxes:  # answer it, so the next check starts clean
        xdotool("windowactivate", "--sync", b, "key", "Return")
        time.sleep(0.2)


home = make_home("korvastel-keys-", COMMAND_LIST)
server, port = demo_site(siteserver)
programs = []
try:
    # 1. Started with an address: the password is typed at once and sent with Enter.
    p = Program(korvastel, home, ["ftp://admin@127.0.0.1:" + port])
    programs.append(p)
    xdotool("type", "--delay", "20", "korvastel")
    enter_without_box("the password field right after start-up")
    check(p.proc.poll() is None, "the window stays after Enter")
    check(p.node("password:").queryText().characterCount == len("korvastel"),
          "the first keys went to the password field")
    p.click(p.node("Connect", ("push button",)))
    check(wait_for(lambda: "\n230" in p.text("output")), "the typed password logs in")

    # 2. Every edit and the pane, each clicked into: a key goes there, Enter does nothing.
    p.click(p.node("command", ("combo box",)))
    xdotool("key", "Return")  # picks the command from the open list: all nine arguments take text
    check(wait_for(lambda: p.node("Argument 9").getState().contains(pyatspi.STATE_SENSITIVE), 5),
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
    def find_bar():
        return find(p.app, lambda n: n.name == "Match case" and n.getState().contains(pyatspi.STATE_SHOWING))
    check(wait_for(find_bar, 5), "Ctrl+F opens the find bar")
    xdotool("key", "Escape")
    check(wait_for(lambda: find_bar() is None, 5), "Escape closes the find bar")
    time.sleep(0.3)
    check(p.proc.poll() is None, "the program runs on after the find bar's Escape")
    p.click(p.node("raw command"))
    xdotool("key", "Escape")
    check(wait_for(lambda: p.proc.poll() is not None, 5), "Escape in an edit ends the program")

    # 4. Started without an address: the first keys go to the server field.
    p = Program(korvastel, home)
    programs.append(p)
    xdotool("type", "--delay", "20", "127.0.0.1")
    enter_without_box("the server field right after start-up")
    check(p.text("server:") == "127.0.0.1", "the first keys went to the server field: %r" % p.text("server:"))
    check(p.proc.poll() is None, "the window stays after Enter")
finally:
    finish(programs, server, home)
sys.exit(1 if failures else 0)
