"""A Modbus serial slave for the interoperability tests, built on pymodbus.

Usage: modbus_slave.py PORT ascii|rtu UNIT

Serves 100 holding registers (addresses 0..99, register n holds 1000 + n) to
the given unit address and prints "ready" once the port is open.
"""
import asyncio
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartAsyncSerialServer
from pymodbus.transaction import ModbusAsciiFramer, ModbusRtuFramer


async def main():
    port, framing, unit = sys.argv[1], sys.argv[2], int(sys.argv[3])
    block = ModbusSequentialDataBlock(0, [1000 + n for n in range(100)])
    store = ModbusSlaveContext(hr=block, zero_mode=True)
    context = ModbusServerContext(slaves={unit: store}, single=False)
    # N,8,1 in both framings: a pseudo-terminal carries no parity, and some
    # kernels refuse to set it on one.
    framer = ModbusAsciiFramer if framing == "ascii" else ModbusRtuFramer
    server = await StartAsyncSerialServer(context=context, framer=framer, port=port,
                                          baudrate=19200, bytesize=8, parity="N", stopbits=1,
                                          ignore_missing_slaves=True, defer_start=True)
    await server.start()
    if server.transport is None:
        print("cannot open " + port, file=sys.stderr, flush=True)
        sys.exit(1)
    print("ready", flush=True)
    await server.serve_forever()


asyncio.run(main())
