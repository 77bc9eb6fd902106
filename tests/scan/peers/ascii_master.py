"""An independent Modbus ASCII master (pymodbus) for the slave-mode tests.

    ascii_master.py DEVICE UNIT OPERATION...

Operations as for scan_modbus_master (zero-based addresses):
    read-coils A N, read-inputs A N, read-holding A N, read-input-registers A N,
    write-coil A 0|1, write-register A V, write-coils A b,b,..., write-registers A v,v,...,
    load N
    report-slave-id
Prints one line per operation: "<operation> OK <values>", "<operation> EXCEPTION <code>"
or "<operation> ERROR <text>", then "DONE".
"""
import sys

from pymodbus.client import ModbusSerialClient
from pymodbus.framer.ascii_framer import ModbusAsciiFramer
from pymodbus.other_message import ReportSlaveIdRequest
from pymodbus.pdu import ExceptionResponse


def numbers(text):
    return [int(v) for v in text.split(",") if v]


def print_result(what, rr, values):
    if isinstance(rr, ExceptionResponse):
        print("%s EXCEPTION %d" % (what, rr.exception_code), flush=True)
    elif values is None:
        print("%s ERROR %s" % (what, rr), flush=True)
    else:
        print(("%s OK %s" % (what, " ".join(str(v) for v in values))).rstrip(), flush=True)


def main():
    device, unit, ops = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    client = ModbusSerialClient(port=device, framer=ModbusAsciiFramer, baudrate=9600,
                                bytesize=8, parity="N", stopbits=1, timeout=1)
    if not client.connect():
        print("CONNECT ERROR", flush=True)
        return 1
    i = 0
    while i < len(ops):
        op = ops[i]
        if op == "load":
            total = int(ops[i + 1])
            ok = 0
            for k in range(total):
                slot = (k // 2) % 50
                value = (k * 7919) & 0xFFFF
                if k % 2 == 0:
                    rr = client.write_register(slot, value, slave=unit)
                    ok += 0 if rr.isError() else 1
                else:
                    rr = client.read_holding_registers(slot, 1, slave=unit)
                    expected = ((k - 1) * 7919) & 0xFFFF
                    ok += 1 if (not rr.isError() and rr.registers == [expected]) else 0
            print("LOAD total=%d ok=%d" % (total, ok), flush=True)
            i += 2
            continue
        if op == "report-slave-id":
            i += 1
            rr = client.execute(ReportSlaveIdRequest(unit=unit))
            print_result(op, rr, None if rr.isError() else [])
            continue
        a, b = int(ops[i + 1]), ops[i + 2]
        what = "%s %s %s" % (op, ops[i + 1], b)
        i += 3
        try:
            if op == "read-coils":
                rr = client.read_coils(a, int(b), slave=unit)
                values = None if rr.isError() else [int(x) for x in rr.bits[:int(b)]]
            elif op == "read-inputs":
                rr = client.read_discrete_inputs(a, int(b), slave=unit)
                values = None if rr.isError() else [int(x) for x in rr.bits[:int(b)]]
            elif op == "read-holding":
                rr = client.read_holding_registers(a, int(b), slave=unit)
                values = None if rr.isError() else rr.registers
            elif op == "read-input-registers":
                rr = client.read_input_registers(a, int(b), slave=unit)
                values = None if rr.isError() else rr.registers
            elif op == "write-coil":
                rr = client.write_coil(a, bool(int(b)), slave=unit)
                values = None if rr.isError() else []
            elif op == "write-register":
                rr = client.write_register(a, int(b), slave=unit)
                values = None if rr.isError() else []
            elif op == "write-coils":
                rr = client.write_coils(a, [bool(v) for v in numbers(b)], slave=unit)
                values = None if rr.isError() else []
            elif op == "write-registers":
                rr = client.write_registers(a, numbers(b), slave=unit)
                values = None if rr.isError() else []
            else:
                print("%s ERROR unknown operation" % op, flush=True)
                continue
        except Exception as e:  # a peer failure is a test result, not a crash
            print("%s ERROR %s" % (what, e), flush=True)
            continue
        print_result(what, rr, values)
    print("DONE", flush=True)
    client.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
