#!/usr/bin/env python3
"""The window as screen readers and desktop automation see it.

Starts the desktop program on an X server of its own (Xvfb) with a window
manager and the accessibility bus, finds its controls through AT-SPI by the
names and descriptions of the language file, adds a definition through the
definition editor, presses Batch find and reads the count column.

    atspi_check.py STRBATCH_BINARY

Run under dbus-run-session (tests/ui/atspi_check.sh does that).
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

TIMEOUT = 60.0


def wait_for(what, find):
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        try:
            found = find()
        except GLib.GError:  # the tree changed while it was walked
            found = None
        if found:
            return found
        time.sleep(0.2)
    sys.exit("not found through AT-SPI within %d s: %s" % (TIMEOUT, what))


def application(name):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == name:
            return app
    return None


def descendant(root, role, name=None, description=None):
    """The first node below root, breadth first, with that role and name."""
    level = [root]
    while level:
        below = []
        for node in level:
            if node is None:
                continue
            if (node is not root and node.getRoleName() == role and
                    (name is None or node.name == name) and
                    (description is None or node.description == description)):
                return node
            below.extend(node)
        level = below
    return None


def press(node):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("press", "Press", "click"):
            action.doAction(i)
            return
    action.doAction(0)


def focused(root):
    """The control that has the keyboard focus (a list, not its cell)."""
    level = [root]
    while level:
        below = []
        for node in level:
            if node is None:
                continue
            if node is not root and node.getState().contains(pyatspi.STATE_FOCUSED):
                return node
            if node.getRoleName() != "table":
                below.extend(node)
        level = below
    return None


def key_of(node):
    """A control told apart from its namesakes by its place in the tree."""
    place = []
    while node is not None and node.getRoleName() != "application":
        place.append(node.getIndexInParent())
        node = node.parent
    return tuple(reversed(place))


def walk_tab_order(app, first):
    """Presses Tab from first until the focus comes back to it; every push
    button, check box, list and drop-down must be reached, none may keep
    the focus, and every one must say what it does."""
    # The keyboard focus needs the window manager to have activated the
    # window; without one (it failed to reach the display) there is no walk.
    deadline = time.monotonic() + 20.0
    start = None
    while start is None and time.monotonic() < deadline:
        first.queryComponent().grabFocus()
        node = focused(app)
        if node is not None and key_of(node) == key_of(first):
            start = key_of(node)
        else:
            time.sleep(0.2)
    if start is None:
        return None
    seen = [start]
    for _ in range(150):
        pyatspi.Registry.generateKeyboardEvent(0xff09, None, pyatspi.KEY_SYM)  # Tab
        before = seen[-1]
        deadline = time.monotonic() + 5.0
        now = None
        while time.monotonic() < deadline:
            node = focused(app)
            if node is not None and key_of(node) != before:
                now = key_of(node)
                break
            time.sleep(0.05)
        if now is None:
            node = focused(app)
            sys.exit("Tab does not leave %s %r" % ((node.getRoleName(), node.name)
                                                   if node is not None else ("nothing", "")))
        if now == start:
            break
        seen.append(now)
    else:
        sys.exit("Tab never comes back to the first control")
    wanted = []
    level = [app]
    while level:
        below = []
        for node in level:
            if node is None:
                continue
            role = node.getRoleName()
            state = node.getState()
            if (role in ("push button", "check box", "table", "combo box") and
                    state.contains(pyatspi.STATE_SHOWING) and
                    state.contains(pyatspi.STATE_ENABLED)):
                wanted.append(node)
            if role != "table":
                below.extend(node)
        level = below
    for node in wanted:
        if key_of(node) not in seen:
            sys.exit("Tab never reaches %s %r" % (node.getRoleName(), node.name))
        if not node.description:
            sys.exit("%s %r has no accessible description" % (node.getRoleName(), node.name))
    return len(seen)


def count_cell(table_node, row, column):
    cell = table_node.queryTable().getAccessibleAt(row, column)
    return cell.name if cell is not None else None


def main():
    program = os.path.abspath(sys.argv[1])
    # A test stopped for its time (SIGTERM) still removes its folder.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped by SIGTERM"))
    work = tempfile.mkdtemp(prefix="strbatch-atspi-")
    try:
        run(program, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run(program, work):
    sample = os.path.join(work, "sample.txt")
    with open(sample, "wb") as f:
        f.write("alpha beta alpha\r\n中文 alpha\r\n".encode("gbk"))
    env = dict(os.environ,
               QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               QT_ACCESSIBILITY="1",
               STRBATCH_CONFIG=os.path.join(work, "strbatch.INI"),
               STRBATCH_TMPDIR=os.path.join(work, "private"))
    # The window manager's output goes to the test's log, as the window's does.
    manager = subprocess.Popen(["openbox"], env=env)
    window = None
    try:
        window = subprocess.Popen([program, sample], env=env)
        app = wait_for("the application", lambda: application("StrBatch"))
        # The controls carry the captions of the language file (Chinese, the
        # default) as their names.
        for role, name in [("push button", "批量替换"), ("push button", "批量查找"),
                           ("push button", "批量改名"), ("table", "文件列表"),
                           ("table", "替换串列表"), ("label", "文件编码"),
                           ("label", "上一条命令的结果")]:
            wait_for("%s %s" % (role, name), lambda: descendant(app, role, name))
        described = wait_for("a description", lambda: descendant(app, "push button", "批量查找"))
        if not described.description:
            sys.exit("Batch find has no accessible description")

        # A definition: Add makes a row, Edit opens the editor on it, whose
        # find field is found by the description the language file gives it.
        frame = wait_for("the definition frame",
                         lambda: descendant(app, "panel", "替换下列勾选串（双击修改）"))
        definitions = wait_for("the definition list",
                               lambda: descendant(frame, "table", "替换串列表"))
        press(wait_for("Add in the definition frame",
                       lambda: descendant(frame, "push button", "添加")))
        wait_for("the added definition", lambda: definitions.queryTable().nRows == 1)
        press(wait_for("Edit", lambda: descendant(frame, "push button", "编辑")))
        field = wait_for("the find field of the editor",
                         lambda: descendant(app, "text", description="要查找的文字或表达式。"))
        field.queryEditableText().setTextContents("alpha")
        dialog = wait_for("the editor", lambda: descendant(app, "dialog", "编辑"))
        press(wait_for("OK of the editor", lambda: descendant(dialog, "push button", "确定")))
        # Presses are carried out later by the window: the definition must be
        # in place before Batch find is pressed, or it would find the old one.
        wait_for("the edited definition in the list",
                 lambda: count_cell(definitions, 0, 0) == "alpha")

        files = wait_for("the file list", lambda: descendant(app, "table", "文件列表"))
        wait_for("the started file in the list", lambda: files.queryTable().nRows >= 1)
        press(wait_for("Batch find", lambda: descendant(app, "push button", "批量查找")))
        count = wait_for("the count of the file", lambda: count_cell(files, 0, 2))
        if count != "3":
            sys.exit("the count column reads %r, expected '3'" % count)
        file_frame = wait_for("the file frame",
                              lambda: descendant(app, "panel", "在下列勾选文件中（注意备份）"))
        stops = None
        if manager.poll() is None:
            stops = walk_tab_order(app, wait_for(
                "Add in the file frame", lambda: descendant(file_frame, "push button", "添加")))
        if stops is None:
            print("AT-SPI: buttons, lists and descriptions found; Batch find counted 3; "
                  "no window manager gave the window the focus, so Tab was not walked")
        else:
            print("AT-SPI: buttons, lists and descriptions found; Batch find counted 3; "
                  "Tab reaches every control in %d stops" % stops)
    finally:
        for process in (window, manager):
            if process is not None:
                process.kill()
                process.wait()


if __name__ == "__main__":
    main()
