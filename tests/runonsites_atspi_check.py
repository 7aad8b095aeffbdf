#!/usr/bin/python3
# Run on Sites as a screen reader and a mouse meet it: the real program
# under an X server, read through the accessibility bus and clicked with
# xdotool. With one tab no page tab is exposed; each saved site is a check
# box whose checked state follows the click; Run asks for the password the
# site lacks in one "Passwords" dialog (a field named after the site), then
# the row ends "done" against the demo site server, with no tab opened for it;
# a double click on the row shows the site's session in a second tab, which
# brings page tabs.
#
# ctest runs it inside xvfb-run and dbus-run-session (tests/gui.cmake).
#   runonsites_atspi_check.py KORVASTEL SITESERVER
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from atspi_program import (Program, check, demo_site, failures, find, finish, make_home,  # noqa: E402
                           pyatspi, wait_for, write_sites)

korvastel, siteserver = sys.argv[1], sys.argv[2]


def states(node):
    return {pyatspi.stateToString(s) for s in node.getState().getStates()}


home = make_home("korvastel-runs-atspi-")
server, port = demo_site(siteserver)
write_sites(home, "[alpha]\naddress=127.0.0.1:%s\nlogin=admin\nencryption=none\nremember=no\n" % port)
app = None
try:
    app = Program(korvastel, home)
    tabs = find(app.app, lambda n: n.getRoleName() in ("page tab", "page tab list"))
    check(tabs is None, "one tab: no page tab is exposed (%s)" % (tabs and tabs.name))

    app.click(app.node("Run on Sites", ("push button",)))
    alpha = wait_for(lambda: app.node("alpha", ("check box",)))
    check(alpha is not None, "the site alpha is a check box")
    if alpha is not None:
        app.click(alpha)
        check(wait_for(lambda: "checked" in states(alpha)), "a click checks it, and the bus says so")
        check(app.node("Timeout") is not None, "the Timeout field is there, named")
        app.click(app.node("Command"), ["type", "WHO"])
        app.click(app.node("Run", ("push button",)))
        asking = wait_for(lambda: find(app.app, lambda n: n.getRoleName() == "dialog" and n.name == "Passwords"))
        check(asking is not None, "Run asks in one dialog called Passwords")
        if asking is not None:
            field = find(asking, lambda n: n.getRoleName() == "password text")
            check(field is not None and field.name == "alpha", "its one field is named after the site")
            app.click(field, ["type", "korvastel"])
            app.click(find(asking, lambda n: n.getRoleName() == "push button" and n.name == "OK"))
            done = wait_for(lambda: find(app.app, lambda n: n.getRoleName() == "table cell" and n.name == "done"))
            check(done is not None, "alpha's row reads done")
            tabs = find(app.app, lambda n: n.getRoleName() == "page tab")
            check(tabs is None, "the run opened no tab")
            if done is not None:
                app.click(done, ["click", "1"])  # a double click
    # The row's session in a second tab brings the tab bar, and its page tabs, to a screen reader.
    tab = wait_for(lambda: find(app.app, lambda n: n.getRoleName() == "page tab" and n.name == "alpha"))
    check(tab is not None, "the double click shows alpha's session in a tab of its own")

finally:
    finish([app], server, home)
sys.exit(1 if failures else 0)
