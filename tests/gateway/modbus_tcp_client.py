#!/usr/bin/python3
"""A Modbus TCP client of the gateway tests, on pymodbus.

    modbus_tcp_client.py PORT UNIT read REGISTER COUNT
    modbus_tcp_client.py PORT UNIT write REGISTER VALUE

Prints the register words in hex ("words 4367 8000 ..."), the reply to a
write ("written REGISTER VALUE"), "exception CODE", or "failed WHY"; exits 0
whenever the gateway answered.
"""
import sys

from pymodbus.client import ModbusTcpClient
from pymodbus.pdu import ExceptionResponse


def main(argv):
    port, unit, action, register, number = int(argv[1]), int(argv[2]), argv[3], int(argv[4]), int(argv[5])
    client = ModbusTcpClient("127.0.0.1", port=port, timeout=10, retries=0)
    if not client.connect():
        print("failed connect")
        return 1
    try:
        if action == "read":
            reply = client.read_holding_registers(register, number, slave=unit)
        else:
            reply = client.write_register(register, number & 0xFFFF, slave=unit)
    except Exception as error:  # a closed connection, a time-out
        print("failed", error)
        return 1
    finally:
        client.close()
    if isinstance(reply, ExceptionResponse):
        print("exception", reply.exception_code)
    elif reply is None or reply.isError():
        print("failed", reply)
        return 1
    elif action == "read":
        print("words", " ".join("%04x" % w for w in reply.registers))
    else:
        print("written", reply.address, reply.value)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
