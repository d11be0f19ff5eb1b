#!/usr/bin/python3
# (Debian's own Python: the bindings of python3-gi and gir1.2-atspi-2.0 are installed for it alone.)
"""gnome-answer.py DIR: answers GNOME's screen-share question on the test desktop of scripts/gnome-session.sh
as a person would, through the accessibility bus: the first monitor of the list, then "Share" (which stays
insensitive until a monitor is chosen). While DIR/hold exists the question is left open; DIR/asking exists
while a question is on the screen; DIR/answered gets a line for each answer. Runs until it is ended."""
import os
import sys
import time

import gi

gi.require_version('Atspi', '2.0')
from gi.repository import Atspi, GLib  # noqa: E402

BACKEND = 'xdg-desktop-portal-gnome'


def nodes(obj, depth=0):
    """Every accessible below obj; objects that vanish while they are walked (a window closing) are left
    out."""
    if obj is None:
        return
    try:
        yield obj
        if depth < 25:
            for i in range(obj.get_child_count()):
                yield from nodes(obj.get_child_at_index(i), depth + 1)
    except GLib.Error:
        return


def question():
    """The monitor list and the Share button of the question on the screen, or None."""
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        try:
            # The backend is on the bus from the start; only a question gives it a window.
            if app is None or BACKEND not in (app.get_name() or '') or app.get_child_count() == 0:
                continue
        except GLib.Error:
            continue
        lists, share = [], []
        for o in nodes(app):
            try:
                name, role = o.get_name(), o.get_role_name()
            except GLib.Error:
                continue
            if role == 'list' and name == 'GtkListBox':
                lists.append(o)
            elif name == '_Share Share' and role in ('push button', 'button'):
                share.append(o)
        if lists and share:
            return lists[0], share[0]
    return None


def answer(monitors, share):
    """Chooses the first monitor and presses Share once it can be pressed; True when it was pressed."""
    Atspi.Selection.select_child(monitors, 0)
    deadline = time.monotonic() + 10
    while True:
        # The state a question left open has shown for a while may be remembered from before the choice:
        # it is asked afresh each time.
        share.clear_cache()
        if share.get_state_set().contains(Atspi.StateType.SENSITIVE):
            return Atspi.Action.do_action(share, 0)
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)


def look(asking, hold, answered):
    """One look at the screen: the question there is answered, unless held."""
    found = question()
    if found is None:
        if os.path.exists(asking):
            os.remove(asking)
        return
    open(asking, 'w').close()
    if os.path.exists(hold):
        return
    if answer(*found):
        print(time.strftime('%T'), 'shared', flush=True)
        with open(answered, 'a') as log:
            log.write(time.strftime('%T share\n'))
    else:
        print(time.strftime('%T'), 'Share could not be pressed', flush=True)
    # The window takes a moment to go: it is not answered twice.
    deadline = time.monotonic() + 10
    while question() is not None and time.monotonic() < deadline:
        time.sleep(0.1)


def main(folder):
    asking, hold = os.path.join(folder, 'asking'), os.path.join(folder, 'hold')
    answered = os.path.join(folder, 'answered')
    while True:
        try:
            look(asking, hold, answered)
        except Exception as e:  # noqa: BLE001 -- a window that goes while it is read must not end the answerer
            print(time.strftime('%T'), 'looking failed:', repr(e), flush=True)
        time.sleep(0.1)


if __name__ == '__main__':
    main(sys.argv[1])
