#!/usr/bin/env python3
"""Pairs of serial ports for the Windows GUI tests under Wine.

Each pair is two pseudo-terminals whose master sides this process joins, like
a null-modem cable: what one end writes, the other reads. The GUI tests'
program opens COM<n>, the simulator inside the same test program serves
COM<n+10>; wine_gui_ports.sh maps both names to the pseudo-terminals in the
prefix's registry.

  com_pairs.py STATE-FILE PAIRS LIFETIME-SECONDS

Writes "COM<n> /dev/pts/A" and "COM<n+10> /dev/pts/B" lines to STATE-FILE
once the pairs exist, then copies until SIGTERM or until LIFETIME-SECONDS have
passed (so a test run that was killed leaves nothing behind for long).
"""
import os
import select
import signal
import sys
import time
import tty

SIM_OFFSET = 10


def main():
    if len(sys.argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    state, pairs, lifetime = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
    if not 1 <= pairs <= SIM_OFFSET - 1:
        sys.stderr.write("com_pairs.py: between 1 and %d pairs\n" % (SIM_OFFSET - 1))
        return 2
    partner = {}
    keep = []  # our own slave handles: a side nobody has open must not hang up
    lines = []
    for n in range(1, pairs + 1):
        ends = []
        for name in ("COM%d" % n, "COM%d" % (n + SIM_OFFSET)):
            master, slave = os.openpty()
            tty.setraw(slave)
            os.set_blocking(master, False)
            keep.append(slave)
            ends.append(master)
            lines.append("%s %s\n" % (name, os.ttyname(slave)))
        partner[ends[0]], partner[ends[1]] = ends[1], ends[0]

    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(True))
    signal.signal(signal.SIGINT, lambda *_: stop.append(True))
    with open(state + ".part", "w") as f:
        f.writelines(lines)
    os.replace(state + ".part", state)

    deadline = time.monotonic() + lifetime
    while not stop and time.monotonic() < deadline:
        try:
            ready, _, _ = select.select(list(partner), [], [], 0.5)
        except InterruptedError:
            continue
        for fd in ready:
            try:
                data = os.read(fd, 4096)
            except (BlockingIOError, InterruptedError):
                continue
            # Bytes for a side whose queue is full are dropped, as on a line
            # nobody listens to.
            try:
                os.write(partner[fd], data)
            except (BlockingIOError, InterruptedError):
                pass
    try:
        os.unlink(state)
    except FileNotFoundError:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
