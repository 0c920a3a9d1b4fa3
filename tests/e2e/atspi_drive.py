#!/usr/bin/python3
# Drives and reads the running program through the accessibility bus (AT-SPI), as a screen reader
# or a test on any display server does: no key events, no window coordinates.
#
#   atspi_drive.py COMMAND [ARGS...]
#     menu MENU ENTRY          activates a menu entry of the main window
#     fill WINDOW INDEX TEXT   sets the INDEX-th (0-based) text field of the window to TEXT
#     press WINDOW BUTTON      presses a button of the window
#     select ROW               selects the tree row whose name begins with ROW
#     toggle ROW               unfolds or folds that tree row
#     wait WINDOW              waits until a window of that name shows
#     gone WINDOW              waits until no window of that name shows
#     dump                     prints the program's accessibility tree (role, name, states)
# Each command waits up to 20 s for what it needs; exit 1 with a line when it never came.
import sys
import time

import pyatspi

APP = "Quillpost"


def app():
    for candidate in pyatspi.Registry.getDesktop(0):
        if candidate is not None and candidate.name == APP:
            return candidate
    return None


def walk(node, depth=0):
    yield node, depth
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def find(predicate, root=None):
    end = time.time() + 20
    while time.time() < end:
        top = root or app()
        if top is not None:
            for node, _ in walk(top):
                try:
                    if predicate(node):
                        return node
                except Exception:
                    pass
        time.sleep(0.2)
    return None


WINDOW_ROLES = ("frame", "dialog", "window", "filler", "alert")


def window(name):
    # A window is a child of the application (a plain top-level widget reads as a filler).
    return find(lambda n: n.getRoleName() in WINDOW_ROLES and n.name.startswith(name)
                and n.parent is not None and n.parent.getRoleName() == "application"
                and n.getState().contains(pyatspi.STATE_SHOWING))


def fail(line):
    print("atspi_drive: " + line, file=sys.stderr)
    sys.exit(1)


def do(action, index):
    # An entry that opens a modal dialog answers only when the dialog closes: the call times out
    # while the program has done what it was asked.
    try:
        action.doAction(index)
    except Exception as error:
        if "Did not receive a reply" not in str(error):
            raise


def act(node, what):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("press", "click", "activate", "Press", "SetFocus") or i == 0:
            do(action, i)
            return
    fail("nothing to do with " + what)


def main(args):
    command = args[0]
    if command == "menu":
        bar = find(lambda n: n.getRoleName() == "menu bar")
        menu = bar and find(lambda n: n.getRoleName() == "menu item" and n.name == args[1], bar)
        entry = menu and find(lambda n: n.getRoleName() == "menu item" and n.name == args[2], menu)
        if entry is None:
            fail("no menu entry %s > %s" % (args[1], args[2]))
        do(entry.queryAction(), 0)
    elif command == "fill":
        win = window(args[1]) or fail("no window " + args[1])
        fields = [n for n, _ in walk(win) if n.getRoleName() in ("text", "entry")]
        if len(fields) <= int(args[2]):
            fail("the window %s has %d text fields" % (args[1], len(fields)))
        fields[int(args[2])].queryEditableText().setTextContents(args[3])
    elif command == "press":
        win = window(args[1]) or fail("no window " + args[1])
        button = find(lambda n: n.getRoleName() == "push button" and args[2] in n.name, win)
        if button is None:
            fail("no button %s in %s" % (args[2], args[1]))
        act(button, args[2])
    elif command == "select":
        row = find(lambda n: n.getRoleName() in ("tree item", "table cell", "list item")
                   and n.name.startswith(args[1]))
        if row is None:
            fail("no row " + args[1])
        view = row.parent
        try:
            view.querySelection().selectChild(row.getIndexInParent())
        except NotImplementedError:
            table = view.queryTable()
            table.addRowSelection(table.getRowAtIndex(row.getIndexInParent()))
    elif command == "wait":
        window(args[1]) or fail("no window " + args[1])
    elif command == "gone":
        end = time.time() + 20
        while time.time() < end:
            top = app()
            if top is None or not any(
                    n.getRoleName() in WINDOW_ROLES and n.name.startswith(args[1])
                    and n.getState().contains(pyatspi.STATE_SHOWING) for n, _ in walk(top)):
                return
            time.sleep(0.2)
        fail("the window %s stays" % args[1])
    elif command == "toggle":
        row = find(lambda n: n.getRoleName() in ("tree item", "table cell") and n.name.startswith(args[1]))
        if row is None:
            fail("no row " + args[1])
        act(row, args[1])
    elif command == "actions":
        row = find(lambda n: n.name.startswith(args[1]))
        action = row.queryAction()
        print([action.getName(i) for i in range(action.nActions)])
    elif command == "dump":
        top = app() or fail("the program is not on the accessibility bus")
        for node, depth in walk(top):
            states = [pyatspi.stateToString(s) for s in node.getState().getStates()
                      if s in (pyatspi.STATE_FOCUSED, pyatspi.STATE_SELECTED, pyatspi.STATE_EXPANDED)]
            description = (" - " + node.description) if node.description else ""
            print("  " * depth + "%s \"%s\"%s%s" % (node.getRoleName(), node.name, description,
                                                     " [" + ", ".join(states) + "]" if states else ""))
            # What a reader reads out of a page or a field beyond its name.
            try:
                text = node.queryText()
                content = text.getText(0, text.characterCount).strip()
                if content and content != node.name and node.getRoleName() not in ("label",):
                    print("  " * (depth + 1) + "text: " + " ".join(content.split()))
            except Exception:
                pass
    else:
        fail("unknown command " + command)


if __name__ == "__main__":
    main(sys.argv[1:])
