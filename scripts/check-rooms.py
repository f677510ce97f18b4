#!/usr/bin/env python3
"""Checks that includes between the source folders point one way, and that no source file grows
past the size a reader can hold in mind.

Each folder under src/ is a room; a room may include itself and the rooms listed for it below,
nothing else. Run from anywhere: scripts/check-rooms.py [SOURCE_ROOT]. Exit 1 lists every
include that points the wrong way and every file over the limit."""
import pathlib
import re
import sys

MAX_LINES = 800

CORE = ["core/base", "core/paradox", "core/document", "core/compute", "core/export",
        "core/interchange", "core/printing", "core/geo"]
SHELL = ["shell/paint", "shell/settings", "shell/grid", "shell/route", "shell/commands",
         "shell/window"]
ALLOWED = {
    "core/base": [],
    "core/paradox": ["core/base"],
    "core/document": ["core/paradox", "core/base"],
    "core/compute": ["core/document", "core/paradox", "core/base"],
    "core/interchange": ["core/document", "core/paradox", "core/base"],
    "core/printing": ["core/document", "core/paradox", "core/base"],
    "core/export": ["core/compute", "core/document", "core/paradox", "core/base"],
    "core/geo": ["core/compute", "core/document", "core/paradox", "core/base"],
    # Painting uses QtGui only and is shared with zelt-cli: nothing of the windows.
    "shell/paint": CORE,
}
# The widget rooms work together (the window opens the commands' dialogs, the dialogs act on
# the window's documents), so they may include one another; all stand on paint and the core.
for room in SHELL[1:]:
    ALLOWED[room] = CORE + SHELL
ALLOWED["cli"] = CORE + SHELL + ["cli"]
ALLOWED["app"] = CORE + SHELL + ["app"]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def room_of_file(src: pathlib.Path, path: pathlib.Path) -> str:
    parts = path.relative_to(src).parts
    return "/".join(parts[:2]) if parts[0] in ("core", "shell") and len(parts) > 2 else parts[0]


def room_of_include(name: str) -> str | None:
    parts = name.split("/")
    if len(parts) < 2:
        return None  # a file of the same folder
    if parts[0] == "shell":
        return "shell/" + parts[1]
    if parts[0] in ("cli", "app"):
        return parts[0]
    return "core/" + parts[0]


def main() -> int:
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent)
    src = root / "src"
    faults = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        text = path.read_text(encoding="utf-8")
        lines = text.count("\n")
        if lines > MAX_LINES:
            faults.append(f"{path.relative_to(root)}: {lines} lines, more than {MAX_LINES}")
        room = room_of_file(src, path)
        if room not in ALLOWED:
            faults.append(f"{path.relative_to(root)}: folder {room} is not a known room")
            continue
        for name in INCLUDE.findall(text):
            target = room_of_include(name)
            if target is None or target == room:
                continue
            if target not in ALLOWED[room]:
                faults.append(f"{path.relative_to(root)}: includes {name}, but {room} may not use {target}")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
