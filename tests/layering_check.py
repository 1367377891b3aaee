#!/usr/bin/env python3
"""Fails when a file includes a room above its own: the rooms stack as ALLOWED says."""
import pathlib
import re
import sys

ALLOWED = {
    "core": {"core"},
    "log": {"core", "log"},
    "usage": {"core", "log", "usage"},
    "tariff": {"core", "log", "usage", "tariff"},
    "ledger": {"core", "log", "usage", "tariff", "ledger"},
    "reports": {"core", "log", "usage", "tariff", "ledger", "reports"},
    "metrics": {"core", "metrics"},
    "platform": {"core", "platform"},
    "monitor": {"core", "log", "usage", "tariff", "ledger", "metrics", "platform", "monitor"},
    "dial": {"core", "platform", "dial"},
    "net": {"core", "metrics", "net"},
    "upgrade_server": {"core", "net", "upgrade_server"},  # shares the protocol header
}
WINDOW_HEADERS = re.compile(r'#include\s*<Qt(Widgets|Gui|Charts)|#include\s*<Q(Widget|Application|Dialog|Painter|Image)\b')
INCLUDE = re.compile(r'#include\s*"([a-z_]+)/')

src = pathlib.Path(sys.argv[1])
faults = []
for path in sorted(src.rglob("*")):
    if path.suffix not in (".h", ".cpp"):
        continue
    room = path.relative_to(src).parts[0]
    allowed = ALLOWED.get(room)
    if allowed is None:
        continue  # ui and app sit on top
    for n, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
        m = INCLUDE.match(line.strip())
        if m and m.group(1) not in allowed:
            faults.append(f"{path}:{n}: {room} includes {m.group(1)}: {line.strip()}")
        if WINDOW_HEADERS.match(line.strip()):
            faults.append(f"{path}:{n}: {room} includes a window header: {line.strip()}")
for f in faults:
    print(f)
sys.exit(1 if faults else 0)
