#!/usr/bin/python3
# "Show as Table" from outside: the real program under an X server logs in
# to the demo site, adds a user whose name a spreadsheet would run as a
# formula, and runs SITE USERS; the pane's context menu opens "Reply Table",
# a click on the "Uploaded" header sorts the sizes as numbers, and Copy puts
# tab-separated rows on the clipboard with that name made inert (read back
# by pasting into the Filter edit).
#
# ctest runs it inside xvfb-run and dbus-run-session (tests/gui.cmake).
#   replytable_atspi_check.py KORVASTEL SITESERVER
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from atspi_program import (Program, check, demo_site, failures, find, finish, make_home, pyatspi,  # noqa: E402
                           wait_for)

korvastel, siteserver = sys.argv[1], sys.argv[2]
UNITS = {"MB": 1, "GB": 1024, "TB": 1024 * 1024}


def megabytes(cell):
    number, unit = cell.split()
    return float(number) * UNITS[unit]


home = make_home("korvastel-table-atspi-")
server, port = demo_site(siteserver)
app = None
try:
    app = Program(korvastel, home)
    for name, value in (("server:", "127.0.0.1"), ("Port", port), ("login:", "admin"), ("password:", "korvastel")):
        app.click(app.node(name), ["key", "ctrl+a", "type", value])
    app.click(app.node("Connect", ("push button",)))
    pane = app.node("output", ("text",))
    check(wait_for(lambda: "\n230" in app.text("output")), "logged in to the demo site")
    app.click(app.node("raw command"), ["type", "ADDUSER =2+3 pw"])
    # Two buttons are called Execute: the raw command's is the one beside its field.
    field_y = app.node("raw command").queryComponent().getExtents(pyatspi.DESKTOP_COORDS)[1]
    executes = []
    find(app.app, lambda n: n.name == "Execute" and n.getRoleName() == "push button" and executes.append(n))
    app.click(min(executes, key=lambda n: abs(n.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)[1] - field_y)))
    check(wait_for(lambda: "User '=2+3' added" in app.text("output")), "the user =2+3 is added")
    app.click(app.node("USERS", ("push button",)))
    check(wait_for(lambda: "users.\n" in app.text("output")), "SITE USERS answered")

    # A popup menu is not in the accessible tree (a screen reader follows its focus): its key picks the item.
    app.click(pane, ["click", "3", "sleep", "0.3", "key", "b"])
    window = wait_for(lambda: find(app.app, lambda n: n.name == "Reply Table" and n.getRoleName() == "dialog"))
    check(window is not None, "the pane's menu opens a window called Reply Table")
    rows = window and find(window, lambda n: n.name == "Rows" and n.getRoleName() == "table")
    check(rows is not None, "it holds a table called Rows")
    check(window is not None and find(window, lambda n: n.name == "Command: SITE USERS") is not None,
          "it says the command")
    if rows is not None:
        table = rows.queryTable()
        header = find(rows, lambda n: n.getRoleName() == "table column header" and n.name == "Uploaded")
        column = [table.getColumnDescription(i) for i in range(table.nColumns)].index("Uploaded")
        app.click(header)
        cells = [table.getAccessibleAt(r, column).name for r in range(table.nRows)]
        sizes = [megabytes(c) for c in cells]
        check(len(cells) == 13 and sizes == sorted(sizes) and cells[-1].endswith("TB"),
              "a click on Uploaded sorts the sizes as numbers: %s" % cells)
        app.click(find(window, lambda n: n.name == "Copy" and n.getRoleName() == "push button"))
        app.click(find(window, lambda n: n.name == "Filter"), ["key", "ctrl+v"])
        pasted = find(window, lambda n: n.name == "Filter").queryText().getText(0, -1)
        check(pasted.startswith("User\tGroup\tFlags\tRatio\tCredits\tUploaded\tDownloaded")
              and "\n'=2+3\tlantern\t3\t1:3\t15 MB\t0 MB\t0 MB\n" in pasted,
              "Copy gives tab-separated rows, =2+3 with a ' in front: %r" % pasted[:200])
finally:
    finish([app], server, home)
sys.exit(1 if failures else 0)
