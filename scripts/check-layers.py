#!/usr/bin/env python3
"""The layers of the source tree, checked on every include.

Every project include is qualified by its folder ("comm/Trans.h") and may only
reach the folder's own layer or one below it:

  comm      the serial layer, framing and transactions
  model     the meter objects, tables and driver        -> comm
  settings  the settings file                           (nothing)
  views     the windows showing the meter               -> model, comm
  app       the main window and its dialogs             -> views, settings, model, comm
  program   the program's start-up                      -> app, views, settings, model, comm
  sim, tools, gateway: the other programs               -> settings, model, comm

Besides: framing does not include the port class or the serial devices, and
nothing below views/ uses Qt. File names must differ in more than letter case.

  check-layers.py [SOURCE-DIR]     prints each breach; exits 1 if there is one
"""
import pathlib
import re
import subprocess
import sys

LOW = {"comm", "model"}
ALLOWED = {
    "comm": {"comm"},
    "model": {"model", "comm"},
    "settings": {"settings"},
    "views": {"views", "model", "comm"},
    "app": {"app", "views", "settings", "model", "comm"},
    "program": {"program", "app", "views", "settings", "model", "comm"},
    "sim": {"sim", "model", "comm"},
    "tools": {"tools", "settings", "model", "comm"},
    "gateway": {"gateway", "settings", "model", "comm"},
}
QT_FREE = {"comm", "model", "settings", "sim", "tools", "gateway"}
FRAMING = {"comm/ModbusFrame.h", "comm/ModbusFrame.cpp", "comm/ModbusMessage.h"}
FRAMING_MAY_NOT = re.compile(r"^comm/(Trans|SerialDevice\w*|SerialPlatform)\.h$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^Q[A-Za-z]*(/|$)|^Qt[A-Za-z]*/")


def main() -> int:
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    files = subprocess.run(["git", "-C", str(root), "ls-files"], check=True,
                           capture_output=True, text=True).stdout.split("\n")
    files = [f for f in files if f]
    breaches = []

    seen = {}
    for f in files:
        other = seen.setdefault(f.lower(), f)
        if other != f:
            breaches.append(f"{f}: differs from {other} only in letter case")

    tracked = set(files)
    for f in files:
        if not f.endswith((".h", ".cpp")):
            continue
        layer = f.split("/")[0]
        text = (root / f).read_text(encoding="utf-8", errors="replace")
        for number, line in enumerate(text.splitlines(), 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            quoted, name = m.group(1) == '"', m.group(2)
            where = f"{f}:{number}: {line.strip()}"
            if quoted and name not in tracked:
                breaches.append(f"{where}: not a file of the tree from its root (qualify it by folder)")
                continue
            if layer in ALLOWED and quoted:
                target = name.split("/")[0]
                if target not in ALLOWED[layer]:
                    breaches.append(f"{where}: {layer}/ may not include {target}/")
            if f in FRAMING and quoted and FRAMING_MAY_NOT.match(name):
                breaches.append(f"{where}: framing may not include the port or the serial devices")
            if layer in QT_FREE and not quoted and QT_HEADER.match(name):
                breaches.append(f"{where}: {layer}/ does not use Qt")
    for b in breaches:
        print(b)
    print(f"layers: {len(breaches)} breach(es)" if breaches else "layers: every include runs downward")
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main())
