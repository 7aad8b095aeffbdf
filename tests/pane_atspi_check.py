#!/usr/bin/python3
# The pane read through the accessibility bus, as a screen reader reads it:
# the real program under an X server logs in to the demo site server and runs
# SITE USERS; the text-inserted events (a few batches, not one per line, that
# add up to the new text) and the colour runs as the bus passes them on
# ("fg-color" R,G,B) are checked. Lines and words are the C++ pane test's.
#
# ctest runs it inside xvfb-run and dbus-run-session (tests/gui.cmake).
#   pane_atspi_check.py KORVASTEL SITESERVER
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from atspi_program import GLib, Program, check, demo_site, failures, finish, make_home, pyatspi  # noqa: E402

korvastel, siteserver = sys.argv[1], sys.argv[2]
REPLY_LINES = 2000

home = make_home("korvastel-atspi-")
server, port = demo_site(siteserver, "--reply-lines", str(REPLY_LINES))
app = None
try:
    app = Program(korvastel, home)
    pane = app.node("output", ("text",))
    check(pane is not None, "the pane is a text control named 'output'")
    inserted = []

    def on_insert(event):
        if event.source == pane:
            inserted.append((event.detail1, event.any_data))

    def when(done, then, limit_s=20.0):
        # Polls `done` every 100 ms, then runs `then`; gives up after `limit_s`.
        deadline = time.time() + limit_s

        def poll():
            if done() or time.time() > deadline:
                then()
                return False
            return True
        GLib.timeout_add(100, poll)

    def last_line():
        t = pane.queryText()
        return t.getTextAtOffset(max(t.characterCount - 2, 0), pyatspi.TEXT_BOUNDARY_LINE_START)[0]

    def drive():
        for name, value in (("server:", "127.0.0.1"), ("Port", port), ("login:", "admin"),
                            ("password:", "korvastel")):
            app.click(app.node(name), ["key", "ctrl+a", "type", value])
        app.click(app.node("Connect", ("push button",)))
        when(lambda: last_line().startswith("230"), users)
        return False

    def users():
        inserted.clear()
        global before
        before = pane.queryText().characterCount
        app.click(app.node("USERS", ("push button",)))
        # The events of the last batch may trail the text by a moment.
        when(lambda: last_line().startswith("200 End of user list"),
             lambda: GLib.timeout_add(500, lambda: pyatspi.Registry.stop() or False))
        return False

    pyatspi.Registry.registerEventListener(on_insert, "object:text-changed:insert")
    GLib.timeout_add(200, drive)
    pyatspi.Registry.start()

    text = pane.queryText()
    count = text.characterCount
    whole = text.getText(0, -1)
    check(count == len(whole) and count > before, "characterCount matches the text and grew with the reply")
    login = whole.find(">USER admin")
    command = whole.find(">SITE USERS")
    attrs, start, end = text.getAttributeRun(login, False)
    check("fg-color:128,255,128" in attrs, "the login is light green: %s" % [a for a in attrs if "color" in a])
    attrs, start, end = text.getAttributeRun(command, False)
    check("fg-color:128,160,255" in attrs and end == count,
          "the command and its reply are one light blue run to the end: %s" % [a for a in attrs if "color" in a])
    joined = "".join(t for _, t in inserted)
    check(0 < len(inserted) < REPLY_LINES // 10, "the reply came in %d text-inserted events" % len(inserted))
    check(inserted and inserted[0][0] == before and joined == whole[before:],
          "the inserted texts are exactly the new text, in order")
finally:
    finish([app], server, home)
sys.exit(1 if failures else 0)
