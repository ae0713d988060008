#!/usr/bin/python3
"""Walks a running Quillon Converter window over AT-SPI, as a screen reader or
a desktop automation tool sees it, and checks that its commands are there.

Lists every control one can press or toggle (role, name, states, actions)
and fails when such a control has no name or no action, or when one of the
expected commands is missing. --press NAME performs the first action of that
control and shows its states after. Run it inside the program's D-Bus session
with the accessibility bus on (scripts/atspi-check.sh does all of that).
"""
import argparse
import sys
import time

import pyatspi

PRESSABLE = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX,
    pyatspi.ROLE_RADIO_BUTTON, pyatspi.ROLE_LINK, pyatspi.ROLE_COMBO_BOX,
    pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_CHECK_MENU_ITEM, pyatspi.ROLE_RADIO_MENU_ITEM,
    pyatspi.ROLE_PAGE_TAB, pyatspi.ROLE_SPIN_BUTTON,
}
STATES = [
    (pyatspi.STATE_SENSITIVE, "enabled"), (pyatspi.STATE_FOCUSABLE, "focusable"),
    (pyatspi.STATE_FOCUSED, "focused"), (pyatspi.STATE_CHECKABLE, "checkable"),
    (pyatspi.STATE_CHECKED, "checked"), (pyatspi.STATE_PRESSED, "pressed"),
    (pyatspi.STATE_SHOWING, "showing"), (pyatspi.STATE_BUSY, "busy"),
]
# The commands each edition's window offers besides its menus.
EXPECTED = {
    "2": ["Add Files", "Remove", "Subfolders", "Import", "Export", "Logs",
          "Visit the Quillon Converter website", "Open the Quillon Converter help",
          "Rate Quillon Converter", "Move the selected files up (Ctrl+Up)",
          "Move the selected files down (Ctrl+Down)", "Remove All", "Output Settings",
          "Convert", "Recent Folders..."],
    "1": ["Add Files", "Add Folder", "Include Subfolders", "Import", "Remove", "Move Up",
          "Move Down", "Convert", "About", "Settings", "List Tools", "Export", "Logs", "Help"],
}
# The output settings' controls that are always there (edition 1 shows them in
# its pane, edition 2 in the sheet "Output Settings" opens); --settings checks
# them. Combo boxes are left out: on Linux Qt names a combo box by its current
# text (its label is a relation), so they are counted instead.
OUTPUT_SETTINGS = ["Files at once", "Resolution in dots per inch", "Keep metadata",
                   "Recreate the folders below", "Open output folder after conversion"]
# Compression, black and white, name taken, resolution.
OUTPUT_SETTINGS_COMBOS = 4
# Menus are walked only this deep, tables only this far: their cells are many.
MAX_TABLE_CHILDREN = 40


def find_application(name, timeout):
    end = time.time() + timeout
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name == name:
                return app
        time.sleep(0.5)
    return None


def states_of(obj):
    s = obj.getState()
    return [label for state, label in STATES if s.contains(state)]


def actions_of(obj):
    try:
        action = obj.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(i) for i in range(action.nActions)]


def walk(obj, found, path=(), in_menu=False):
    try:
        role = obj.getRole()
        name = obj.name
    except Exception:  # the object went away meanwhile
        return
    if role in PRESSABLE:
        found.append({"obj": obj, "role": obj.getRoleName(), "name": name, "states": states_of(obj),
                      "actions": actions_of(obj), "path": "/".join(path), "menu": in_menu})
    limit = MAX_TABLE_CHILDREN if role == pyatspi.ROLE_TABLE else obj.childCount
    inside_menu = in_menu or role in (pyatspi.ROLE_MENU_BAR, pyatspi.ROLE_MENU)
    for i in range(min(limit, obj.childCount)):
        child = obj.getChildAtIndex(i)
        if child is not None:
            walk(child, found, path + (name or obj.getRoleName(),), inside_menu)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--app", default="QuillonConverter2", help="the application's name on the bus")
    parser.add_argument("--edition", default="2", choices=["1", "2"])
    parser.add_argument("--press", action="append", default=[], help="perform the first action of this control")
    parser.add_argument("--wait-enabled", help="first wait until this control is enabled (files still loading)")
    parser.add_argument("--settings", action="store_true",
                        help="also check the output settings' controls (edition 2: after pressing Output Settings)")
    parser.add_argument("--timeout", type=float, default=20)
    args = parser.parse_args()

    app = find_application(args.app, args.timeout)
    if app is None:
        print(f"{args.app} is not on the accessibility bus", file=sys.stderr)
        return 2
    if args.wait_enabled:
        end = time.time() + args.timeout
        while time.time() < end:
            found = []
            for i in range(app.childCount):
                walk(app.getChildAtIndex(i), found)
            if any(c["name"] == args.wait_enabled and "enabled" in c["states"] for c in found):
                break
            time.sleep(0.5)
        else:
            print(f"{args.wait_enabled!r} never became enabled")
    windows = [app.getChildAtIndex(i) for i in range(app.childCount)]
    print(f"{args.app}: {len(windows)} window(s): " + ", ".join(f"{w.getRoleName()} '{w.name}'" for w in windows))
    found = []
    for window in windows:
        walk(window, found)

    problems = []
    for c in found:
        flag = ""
        if not c["name"].strip():
            flag = "  <-- no name"
        elif not c["actions"] and "enabled" in c["states"] and "showing" in c["states"]:
            flag = "  <-- no action"
        if flag and not c["menu"]:
            problems.append(c)
        if not c["menu"]:
            print(f"  {c['role']:<13} {c['name']!r:<46} [{', '.join(c['states'])}] actions={c['actions']}{flag}")
    menus = [c for c in found if c["menu"]]
    unnamed_menus = [c for c in menus if not c["name"].strip() and c["role"] != "separator"]
    print(f"  ... and {len(menus)} menu items ({len(unnamed_menus)} unnamed)")

    names = {c["name"] for c in found if not c["menu"]}
    missing = [n for n in EXPECTED[args.edition] if n not in names]
    for n in missing:
        print(f"MISSING: no pressable control named {n!r}")
    for c in problems:
        print(f"PROBLEM: {c['role']} {c['name']!r} at {c['path']}")

    for target in args.press:
        match = [c for c in found if c["name"] == target and not c["menu"]]
        if not match:
            print(f"PRESS: {target!r} not found")
            missing.append(target)
            continue
        obj = match[0]["obj"]
        before = states_of(obj)
        obj.queryAction().doAction(0)
        time.sleep(1.0)
        print(f"PRESS: {target!r} ({match[0]['actions'][0]}): states {before} -> {states_of(obj)}")
        windows = [app.getChildAtIndex(i) for i in range(app.childCount)]
        print("       windows now: " + ", ".join(f"{w.getRoleName()} '{w.name}'" for w in windows))
    if args.settings:
        if args.edition == "2" and "Output Settings" not in args.press:
            match = [c for c in found if c["name"] == "Output Settings" and not c["menu"]]
            if match:
                match[0]["obj"].queryAction().doAction(0)
                time.sleep(1.0)
        found = []
        for i in range(app.childCount):
            walk(app.getChildAtIndex(i), found)
        shown = {c["name"]: c for c in found if not c["menu"]}
        combos = [c for c in found if not c["menu"] and c["role"] == "combo box" and "showing" in c["states"]
                  and c["name"] != "Recent Folders..." and c["name"] != "Recent folders"]
        print(f"SETTINGS: {len(combos)} combo boxes shown: " + ", ".join(repr(c["name"]) for c in combos))
        if len(combos) < OUTPUT_SETTINGS_COMBOS:
            print(f"MISSING: {OUTPUT_SETTINGS_COMBOS} combo boxes of the output settings expected")
            missing.append("combo boxes")
        for n in OUTPUT_SETTINGS:
            if n not in shown:
                print(f"MISSING: no output settings control named {n!r}")
                missing.append(n)
            else:
                c = shown[n]
                print(f"SETTINGS: {c['role']:<13} {n!r:<50} [{', '.join(c['states'])}] actions={c['actions']}")
                if not c["actions"] and "enabled" in c["states"]:
                    problems.append(c)
    return 1 if missing or problems else 0


if __name__ == "__main__":
    sys.exit(main())
