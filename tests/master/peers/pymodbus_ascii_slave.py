"""An independent Modbus ASCII slave (pymodbus) for the master tests.

    pymodbus_ascii_slave.py DEVICE UNIT

Serves unit UNIT (and broadcasts) at 9600,n,8,1 with the same data as the
libmodbus peer (zero-based addresses): coil i on when i % 3 == 0, discrete
input i on when i is odd, input register i = 1000 + i, holding register i = i.
Prints READY once the line is open.
"""
import asyncio
import logging
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.framer.ascii_framer import ModbusAsciiFramer
from pymodbus.server.async_io import StartAsyncSerialServer


def data():
    return ModbusSlaveContext(
        co=ModbusSequentialDataBlock(0, [i % 3 == 0 for i in range(2000)]),
        di=ModbusSequentialDataBlock(0, [i % 2 == 1 for i in range(2000)]),
        ir=ModbusSequentialDataBlock(0, [1000 + i for i in range(1000)]),
        hr=ModbusSequentialDataBlock(0, list(range(1000))),
        zero_mode=True)


async def main(device, unit):
    context = ModbusServerContext(slaves={unit: data()}, single=False)
    server = await StartAsyncSerialServer(
        context=context, framer=ModbusAsciiFramer, port=device, baudrate=9600,
        bytesize=8, parity="N", stopbits=1, timeout=0.05, broadcast_enable=True,
        defer_start=True)
    await server.start()
    print("READY", flush=True)
    await server.serve_forever()


if __name__ == "__main__":
    logging.basicConfig(level=logging.CRITICAL)
    asyncio.run(main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 1))
