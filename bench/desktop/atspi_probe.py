#!/usr/bin/env python3
"""Answers one question about the program's accessibility tree, as JSON on stdout.

Run by check.py as a child process, so that a bus call that hangs costs that child alone and the
caller's wait stays bounded.  Usage: atspi_probe.py PID COMMAND [ARG...]

  windows                      the program's top-level windows: name, role, description,
                               whether a menu bar is among its children and how many items it has
  tree [TITLE]                 the whole tree (of one window), for reading by hand
  action TITLE ROLE NAME ACT   does the named action of the first ROLE object called NAME
  text-attrs TITLE [OFFSET]    the default and the offset's (0's) attributes of the window's
                               text area, and the run they hold for
  scroll TITLE                 the scroll bars shown with the window's text area, its caret
                               and its first line
  focus                        the object that has the keyboard focus
"""
import json
import sys

import pyatspi


def app_of(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        try:
            if app and app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def role(obj):
    try:
        return obj.getRoleName()
    except Exception:
        return "?"


def children(obj):
    try:
        return [c for c in obj if c is not None]
    except Exception:
        return []


def walk(obj, depth=0, limit=12):
    yield obj, depth
    if depth >= limit:
        return
    for c in children(obj):
        yield from walk(c, depth + 1, limit)


def window(app, title):
    for w in children(app):
        if w.name == title:
            return w
    return None


def states(obj):
    try:
        return sorted(pyatspi.stateToString(s) for s in obj.getState().getStates())
    except Exception:
        return []


def find(root, role_name, name):
    for obj, _ in walk(root):
        if role(obj) == role_name and obj.name == name:
            return obj
    return None


def first_text(root):
    for obj, _ in walk(root):
        if role(obj) in ("text", "entry", "paragraph", "document text"):
            try:
                obj.queryText()
                return obj
            except NotImplementedError:
                continue
    return None


def main():
    pid, command, args = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
    app = app_of(pid)
    if app is None:
        return {"error": "no accessible application with pid %d" % pid}
    if command == "windows":
        out = []
        for w in children(app):
            bars = [c for c in children(w) if role(c) == "menu bar"]
            out.append({
                "name": w.name, "role": role(w), "description": w.description,
                "states": states(w),
                "menubars": [len(children(b)) for b in bars],
            })
        return {"windows": out}
    if command == "tree":
        root = window(app, args[0]) if args else app
        if root is None:
            return {"error": "no window %r" % args[0]}
        lines = []
        for obj, depth in walk(root):
            lines.append("%s%s %r desc=%r" % ("  " * depth, role(obj), obj.name, obj.description))
        return {"tree": lines}
    if command == "action":
        title, role_name, name, act = args
        w = window(app, title)
        obj = w and find(w, role_name, name)
        if obj is None:
            return {"error": "no %s %r in %r" % (role_name, name, title)}
        action = obj.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        for i, n in enumerate(names):
            if n.lower() == act.lower():
                return {"done": bool(action.doAction(i)), "actions": names}
        return {"error": "no action %r" % act, "actions": names}
    if command == "text-attrs":
        w = window(app, args[0])
        obj = w and first_text(w)
        if obj is None:
            return {"error": "no text in %r" % args[0]}
        text = obj.queryText()
        offset = int(args[1]) if len(args) > 1 else 0
        attrs, start, end = text.getAttributeRun(offset, True)
        return {"attributes": dict(a.split(":", 1) for a in attrs if ":" in a),
                "run": [start, end], "characters": text.characterCount}
    if command == "scroll":
        # Qt answers no offset at a point in a plain text area, and the place of its first
        # character without the scrolling; the scroll bars' values tell what is in view.
        w = window(app, args[0])
        obj = w and first_text(w)
        if obj is None:
            return {"error": "no text in %r" % args[0]}
        bars = []
        for o, _ in walk(obj):
            if role(o) == "scroll bar" and "showing" in states(o):
                v = o.queryValue()
                bars.append({"minimum": v.minimumValue, "value": v.currentValue,
                             "maximum": v.maximumValue})
        text = obj.queryText()
        return {"bars": bars, "caret": text.caretOffset,
                "first_line": text.getText(0, 60).split("\n")[0]}
    if command == "focus":
        for obj, _ in walk(app):
            if "focused" in states(obj):
                return {"role": role(obj), "name": obj.name}
        return {"role": None, "name": None}
    return {"error": "unknown command %r" % command}


if __name__ == "__main__":
    try:
        result = main()
    except Exception as e:  # the caller reports it with the step
        result = {"error": "%s: %s" % (type(e).__name__, e)}
    print(json.dumps(result))
