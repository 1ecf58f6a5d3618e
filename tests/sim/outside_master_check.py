#!/usr/bin/python3
"""Checks kavrel-sim from outside, with masters that share no code with it.

  outside_master_check.py pymodbus KAVREL_SIM   pymodbus as master (ASCII and RTU),
                                                 plus raw pyserial for the fault switches
  outside_master_check.py mbpoll KAVREL_SIM     mbpoll as RTU master on the setup registers

Every check that fails is listed; the exit code is 1 when any failed or a tool is missing.
"""
import math
import os
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return cond


class Sim:
    """kavrel-sim started in a scratch directory, driven through its standard input."""

    def __init__(self, exe, *args):
        self.dir = tempfile.mkdtemp(prefix="kavrel-sim-check-")
        self.link = os.path.join(self.dir, "COM1")
        self.proc = subprocess.Popen([exe, "--link", self.link, *args], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, bufsize=1)
        banner = self.proc.stdout.readline()  # where it listens
        banner += self.proc.stdout.readline()  # how to give commands
        if not os.path.islink(self.link):
            raise RuntimeError("kavrel-sim did not come up: " + banner + self.proc.stdout.read())

    def command(self, text):
        """Runs one command and returns the first line it printed."""
        self.proc.stdin.write(text + "\n")
        self.proc.stdin.flush()
        ready, _, _ = select.select([self.proc.stdout], [], [], 10)
        return self.proc.stdout.readline().strip() if ready else ""

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            rc = self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            rc = None
        check(rc == 0, "kavrel-sim exits with 0 on SIGTERM (got %r)" % rc)
        check(not os.path.lexists(self.link), "the link is removed on exit")
        shutil.rmtree(self.dir, ignore_errors=True)


# --- independent framing for the raw checks -------------------------------------------

def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def rtu(pdu):
    c = crc16(pdu)
    return bytes(pdu) + bytes([c & 0xFF, c >> 8])


def ascii_frame(pdu):
    lrc = (-sum(pdu)) & 0xFF
    return b":" + (bytes(pdu) + bytes([lrc])).hex().upper().encode() + b"\r\n"


def read_req(address, reg, count):
    return struct.pack(">BBHH", address, 3, reg, count)


def collect(port, request, until, limit=3.0):
    """Sends a request, returns [(time since send, byte)] until `until(bytes)` or the limit."""
    import serial  # noqa: F401
    port.reset_input_buffer()
    port.write(request)
    start = time.monotonic()
    got = []
    while time.monotonic() - start < limit:
        data = port.read(1)
        if data:
            got.append((time.monotonic() - start, data[0]))
            if until(bytes(b for _, b in got)):
                break
    return got


def raw_bytes(got):
    return bytes(b for _, b in got)


# --- pymodbus ----------------------------------------------------------------------

def floats(words):
    return [struct.unpack(">f", struct.pack(">HH", words[i], words[i + 1]))[0] for i in range(0, len(words), 2)]


def int32s(words):
    return [struct.unpack(">i", struct.pack(">HH", words[i], words[i + 1]))[0] for i in range(0, len(words), 2)]


def check_with_pymodbus(exe, mode, framer_name, serial_args):
    from pymodbus.client import ModbusSerialClient
    from pymodbus.framer.ascii_framer import ModbusAsciiFramer
    from pymodbus.framer.rtu_framer import ModbusRtuFramer
    from pymodbus.pdu import ExceptionResponse
    from pymodbus.register_read_message import ReadHoldingRegistersRequest, ReadInputRegistersRequest

    class ReadWide(ReadHoldingRegistersRequest):
        """Function 3 for the float and 32-bit ranges: 4 bytes per register number."""

        def get_response_pdu_size(self):
            return 2 + 4 * self.count

    framer = ModbusAsciiFramer if framer_name == "ascii" else ModbusRtuFramer
    tag = "%s mode %d: " % (framer_name, mode)
    sim = Sim(exe, "--mode", str(mode), "--baud", str(serial_args["baudrate"]), "--meter", "TR5:1", "--meter", "VR5:2")
    client = ModbusSerialClient(sim.link, framer=framer, timeout=1.5, retries=0, **serial_args)
    try:
        check(client.connect(), tag + "connect")

        def ex_code(r):
            return r.exception_code if isinstance(r, ExceptionResponse) else None

        # Value coding by range: 16-bit below 7500, floats 7500..7799, 32-bit from 7800.
        r = client.read_holding_registers(4000, 3, slave=1)
        check(not r.isError() and r.registers == [1, 1, 0], tag + "setup registers 4000..4002 are 1, 1, 0: %s" % r)
        r = client.execute(ReadWide(7500, 34, 1))
        if check(not r.isError() and len(r.registers) == 68, tag + "34 floats from 7500: %s" % r):
            v = floats(r.registers)
            for ph in range(3):
                u, i, p, q, s, pf, tf = v[7 * ph: 7 * ph + 7]
                check(math.isclose(s, u * i, rel_tol=1e-5), tag + "S = U I in phase %d" % (ph + 1))
                check(math.isclose(s * s, p * p + q * q, rel_tol=1e-4), tag + "S^2 = P^2 + Q^2 in phase %d" % (ph + 1))
                check(math.isclose(pf, p / s, rel_tol=1e-5) and math.isclose(tf, q / p, rel_tol=1e-5),
                      tag + "Pf and tf of phase %d" % (ph + 1))
                check(200 < u < 260 and 0 <= i <= 5.5, tag + "phase %d U and I plausible: %g %g" % (ph + 1, u, i))
            check(math.isclose(v[23], v[2] + v[9] + v[16], rel_tol=1e-5), tag + "P is the sum of P1..P3")
            check(math.isclose(v[21], (v[0] + v[7] + v[14]) / 3, rel_tol=1e-5), tag + "Us is the mean of U1..U3")
            check(math.isclose(v[29], math.sqrt(3) * (v[0] + v[7]) / 2, rel_tol=0.01), tag + "U12 near sqrt(3) x U")
            check(abs(v[28] - 50) < 0.5, tag + "frequency near 50 Hz")
        r = client.execute(ReadWide(7844, 2, 2))
        if check(not r.isError() and len(r.registers) == 4, tag + "VR5 extreme times, 32-bit: %s" % r):
            t = int32s(r.registers)
            check(all(abs(x - 3600 - time.time()) < 30 for x in t), tag + "times are seconds since 1970 + 1 h: %s" % t)

        # Exceptions and limits.
        check(ex_code(client.read_holding_registers(4031, 2, slave=1)) == 2, tag + "block past the map: exception 2")
        check(ex_code(client.execute(ReadWide(7534, 1, 2))) == 2, tag + "TR5 energy on a VR5: exception 2")
        check(ex_code(client.execute(ReadInputRegistersRequest(7500, 1, 1))) == 1, tag + "function 4: exception 1")
        check(ex_code(client.write_register(4000, 0, slave=1)) == 3, tag + "write below the limit: exception 3")
        check(ex_code(client.write_register(4000, 20001, slave=1)) == 3, tag + "write above the limit: exception 3")
        check(ex_code(client.write_register(7500, 1, slave=1)) == 2, tag + "write to a measured register: exception 2")
        r = client.write_register(4000, 20000, slave=1)
        check(not r.isError() and r.value == 20000, tag + "write at the limit is echoed")
        r = client.read_holding_registers(4000, 1, slave=1)
        check(not r.isError() and r.registers == [20000], tag + "and reads back")
        r = client.write_register(4008, 0xFB50, slave=2)  # -1200 as a 16-bit word
        check(not r.isError(), tag + "VR5 takes its negative lower limit")
        check(ex_code(client.write_register(4008, 0xFB4F, slave=2)) == 3, tag + "VR5: -1201 is refused")

        # Faults as a pymodbus master sees them.
        sim.command("exception 4")
        check(ex_code(client.read_holding_registers(4000, 1, slave=1)) == 4, tag + "exception fault: code 4")
        sim.command("exception 0")
        sim.command("silent on")
        check(client.read_holding_registers(4000, 1, slave=1).isError(), tag + "silent: no answer")
        sim.command("silent off")
        check(not client.read_holding_registers(4000, 1, slave=1).isError(), tag + "answers again after silent off")
    finally:
        client.close()
    check_faults_raw(sim, framer_name == "rtu", serial_args, tag)
    sim.stop()


def check_faults_raw(sim, is_rtu, serial_args, tag):
    """Every fault switch, observed byte by byte."""
    import serial
    port = serial.Serial(sim.link, timeout=0.05, **serial_args)
    req = rtu(read_req(1, 4001, 1)) if is_rtu else ascii_frame(read_req(1, 4001, 1))  # voltage ratio, 1
    good_len = 7 if is_rtu else 15

    def complete(b):
        return len(b) >= good_len and (not is_rtu and b.endswith(b"\n") or is_rtu)

    def frame_ok(b):
        if is_rtu:
            return crc16(b) == 0
        body = bytes.fromhex(b[1:-2].decode())
        return sum(body) & 0xFF == 0

    def pdu(b):
        return b[:-2] if is_rtu else bytes.fromhex(b[1:-2].decode())[:-1]

    base = raw_bytes(collect(port, req, complete))
    check(len(base) == good_len and frame_ok(base) and pdu(base) == b"\x01\x03\x02\x00\x01",
          tag + "plain reply: %r" % base)

    sim.command("silent on")
    check(collect(port, req, complete, limit=1.0) == [], tag + "silent: nothing at all")
    sim.command("clear")

    sim.command("delay 800")
    got = collect(port, req, complete)
    check(got and got[0][0] >= 0.7 and frame_ok(raw_bytes(got)), tag + "delay 800: first byte after %.3f s" %
          (got[0][0] if got else -1))
    sim.command("clear")

    sim.command("badcheck on")
    got = raw_bytes(collect(port, req, complete))
    check(len(got) == good_len and not frame_ok(got) and pdu(got) == pdu(base), tag + "badcheck: %r" % got)
    sim.command("clear")

    sim.command("noise 5")
    got = raw_bytes(collect(port, req, lambda b: len(b) >= good_len + 5 and (is_rtu or b.endswith(b"\n"))))
    tail = got[5:]
    check(len(got) == good_len + 5 and frame_ok(tail) and pdu(tail) == pdu(base), tag + "noise 5: %r" % got)
    sim.command("clear")

    sim.command("wrongaddr on")
    got = raw_bytes(collect(port, req, complete))
    check(frame_ok(got) and pdu(got)[0] == 2 and pdu(got)[1:] == pdu(base)[1:], tag + "wrongaddr: %r" % got)
    sim.command("clear")

    sim.command("exception 6")
    got = raw_bytes(collect(port, req, lambda b: len(b) >= (5 if is_rtu else 11)))
    check(frame_ok(got) and pdu(got) == b"\x01\x83\x06", tag + "exception 6: %r" % got)
    sim.command("clear")

    sim.command("trickle 60")
    got = collect(port, req, complete)
    spread = got[-1][0] - got[0][0] if got else 0
    check(frame_ok(raw_bytes(got)) and spread >= 0.8 * 0.06 * (good_len - 1),
          tag + "trickle 60: %d bytes over %.3f s" % (len(got), spread))
    sim.command("clear")

    sim.command("unplug 1.5")
    gone = not os.path.lexists(sim.link)
    try:
        port.write(req)
        port.read(10)
        port_died = False
    except (serial.SerialException, OSError):
        port_died = True
    check(gone and port_died, tag + "unplug: link gone (%s) and the open port fails (%s)" % (gone, port_died))
    port.close()
    deadline = time.monotonic() + 10
    while not os.path.lexists(sim.link) and time.monotonic() < deadline:
        time.sleep(0.05)
    check(os.path.lexists(sim.link), tag + "the link comes back after the unplug time")
    port = serial.Serial(sim.link, timeout=0.05, **serial_args)
    got = raw_bytes(collect(port, req, complete))
    check(got == base, tag + "and the meter answers again: %r" % got)
    port.close()


# --- mbpoll ------------------------------------------------------------------------

def check_with_mbpoll(exe):
    mbpoll = shutil.which("mbpoll")
    if not check(mbpoll is not None, "mbpoll is installed (Debian package mbpoll)"):
        return
    # RTU 8E1 named as a gateway line names it (mode 4)
    sim = Sim(exe, "--framing", "rtu", "--format", "8E1", "--baud", "19200", "--meter", "TR5B:3")
    base = [mbpoll, "-m", "rtu", "-b", "19200", "-P", "even", "-a", "3", "-0", "-1", "-o", "1"]

    def run(*args, write=None):
        cmd = base + list(args) + [sim.link]
        if write is not None:
            cmd += ["--", str(write)]  # "--": a negative value is not an option
        p = subprocess.run(cmd, capture_output=True, text=True, timeout=30)
        return p.returncode, p.stdout + p.stderr

    def values(out):
        # "[4014]: \t65416 (-120)": the register and its value as an unsigned word
        return {int(l.split("]")[0][1:]): int(l.split(":")[1].split()[0]) for l in out.splitlines()
                if l.startswith("[")}

    rc, out = run("-r", "4000", "-c", "9")
    check(rc == 0 and values(out) == {4000: 1, 4001: 1, 4002: 0, 4003: 0, 4004: 0, 4005: 0, 4006: 1, 4007: 0,
                                      4008: 1}, "mbpoll reads the TR5B setup block: " + out[-300:])
    rc, out = run("-r", "4014", write=65536 - 120)
    check(rc == 0, "mbpoll writes -120 (0xFF88), the lower limit of AoL1: " + out[-200:])
    rc, out = run("-r", "4014", "-c", "1")
    check(rc == 0 and values(out) == {4014: 65536 - 120},
          "and reads it back: " + out[-200:])
    rc, out = run("-r", "4014", write=65536 - 121)
    check(rc != 0 and "Illegal data value" in out, "-121 is refused with exception 3: " + out[-200:])
    rc, out = run("-r", "4025", write=2)
    check(rc != 0 and "Illegal data value" in out, "relay state 2 on a TR5B is refused: " + out[-200:])
    rc, out = run("-r", "7500", write=1)
    check(rc != 0 and "Illegal data address" in out, "a measured register is not writable: " + out[-200:])
    rc, out = run("-r", "7680", "-c", "1")
    check(rc != 0 and "Illegal data address" in out, "no U3 harmonics on a TR5B: " + out[-200:])
    p = subprocess.run([mbpoll, "-m", "rtu", "-b", "19200", "-P", "even", "-a", "4", "-0", "-1", "-o", "0.5",
                        "-r", "4000", sim.link], capture_output=True, text=True, timeout=30)
    check(p.returncode != 0 and "timed out" in p.stdout + p.stderr, "another address gets no answer")
    sim.stop()


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("pymodbus", "mbpoll"):
        print(__doc__)
        return 2
    exe = sys.argv[2]
    if sys.argv[1] == "mbpoll":
        check_with_mbpoll(exe)
    else:
        try:
            import pymodbus  # noqa: F401
            import serial  # noqa: F401
        except ImportError as e:
            check(False, "pymodbus and pyserial are installed (python3-pymodbus, python3-serial): %s" % e)
        else:
            # Mode 1 is E,7,1; the client stays at 8 bits without parity because a
            # pseudo-terminal carries bytes whatever the format and some kernels
            # refuse parity and 7-bit settings on one.
            check_with_pymodbus(exe, 1, "ascii", dict(baudrate=9600, bytesize=8, parity="N", stopbits=1))
            check_with_pymodbus(exe, 3, "rtu", dict(baudrate=19200, bytesize=8, parity="N", stopbits=2))
    print("%d check(s) failed" % len(failures) if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
