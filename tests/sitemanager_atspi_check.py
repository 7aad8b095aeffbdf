#!/usr/bin/python3
# The Site Manager of two real programs under an X server, driven through the
# accessibility bus as a screen reader (or UI automation) drives it: two
# windows that each add a site to the same list leave both sites in it.
#
# ctest runs it inside xvfb-run and dbus-run-session (tests/gui.cmake).
#   sitemanager_atspi_check.py KORVASTEL
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from atspi_program import (Program, check, failures, find, finish, make_home, press, pyatspi,  # noqa: E402
                           wait_for, write_sites)

korvastel = sys.argv[1]
home = make_home("korvastel-sm-atspi-")
sites = write_sites(home, "[old]\naddress=h\n")


def site_manager(app):
    press(app.node("Site Manager", ("push button",)))
    return wait_for(lambda: find(app.app, lambda n: n.getRoleName() == "dialog" and n.name == "Site Manager"))


def add_site(dialog, name, address):
    def field(label):
        return find(dialog, lambda n: n.name == label and n.getRoleName() == "text")
    press(find(dialog, lambda n: n.name == "New Site" and n.getRoleName() == "push button"))
    field("Name").queryEditableText().setTextContents(name)
    field("Addresses").queryEditableText().setTextContents(address)
    press(find(dialog, lambda n: n.name == "Close" and n.getRoleName() == "push button"))


first = second = None
try:
    pyatspi.Registry.getDesktop(0)  # the bus and its registry up before the programs start
    first, second = Program(korvastel, home), Program(korvastel, home)
    mine = site_manager(first)
    check(mine is not None, "the first program's Site Manager opened")

    theirs = site_manager(second)
    check(theirs is not None, "the second program's Site Manager opened on the same list")
    add_site(theirs, "from-second", "h2")
    check(wait_for(lambda: "[from-second]" in open(sites).read()), "the second program saved its site")
    add_site(mine, "from-first", "h1")
    text = wait_for(lambda: (lambda t: t if "[from-first]" in t else None)(open(sites).read()))
    check(text is not None and all("[%s]" % s in text for s in ("old", "from-second", "from-first")),
          "the list holds both programs' new sites: %r" % text)
finally:
    finish([first, second], None, home)
sys.exit(1 if failures else 0)
