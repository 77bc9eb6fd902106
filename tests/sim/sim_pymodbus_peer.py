"""Drives actuator-sim with pymodbus, a Modbus stack independent of ours and of
libmodbus: the discovery and MK 1 to MK 2 conversion, a configuration upload,
a stroke with its status, profile and counts, and the relays.

usage: sim_pymodbus_peer.py ACTUATOR_SIM
Prints PASS and exits 0 when every check holds; otherwise prints FAIL and why.
"""
import subprocess
import sys
import time

from pymodbus.client import ModbusSerialClient


def check(condition, what):
    if not condition:
        raise AssertionError(what)


class Simulator:
    def __init__(self, program, *args):
        self.proc = subprocess.Popen(
            [program, "--settings", "9600,n,8,1", *args],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        first = self.proc.stdout.readline().split()
        check(first[:1] == ["PORT"], f"first line {first}")
        check(self.proc.stdout.readline().strip() == "READY", "READY line")
        self.port = first[1]

    def command(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()
        while True:
            reply = self.proc.stdout.readline()
            if not reply:
                raise AssertionError("simulator ended")
            if reply.startswith(("OK", "ERROR")):
                return reply.strip()

    def close(self):
        self.proc.terminate()
        self.proc.wait(5)


def main():
    program = sys.argv[1]
    sim = Simulator(program, "--format", "mk1", "--stroke-seconds", "0.5", "--tag", "TANK INLET")
    # pymodbus 3.0 keeps its timeout as whole seconds.
    client = ModbusSerialClient(port=sim.port, baudrate=9600, parity="N", timeout=1)
    try:
        check(client.connect(), "connect")

        # Discovery: presence, then the format probe fails with "illegal data address".
        check(not client.read_holding_registers(5, 1, slave=1).isError(), "presence 400006")
        probe = client.read_holding_registers(25, 1, slave=1)
        check(probe.isError() and getattr(probe, "exception_code", None) == 2, f"MK 1 probe {probe}")
        check(not client.write_register(6, 1, slave=1).isError(), "format change 40007")
        check(sim.command("power-cycle").startswith("OK power-cycle format mk2"), "power cycle")
        probe = client.read_holding_registers(25, 1, slave=1)
        check(not probe.isError() and probe.registers == [1], f"MK 2 probe {probe}")

        # Configuration upload: 40008 x 25, tag low byte first.
        block = client.read_holding_registers(7, 25, slave=1)
        check(not block.isError() and len(block.registers) == 25, "configuration block")
        tag = "".join(chr(r & 0xFF) + chr(r >> 8) for r in block.registers[19:25])
        check(tag == "TANK INLET  ", f"tag {tag!r}")
        check(block.registers[16] == 6 and block.registers[17] == 0, "baud and parity codes of 9600,n,8,1")

        # Open stroke.
        check(not client.write_coil(2, True, slave=1).isError(), "open command")
        status = client.read_discrete_inputs(0, 16, slave=1).bits[:8]
        check(status[0] and status[4] and not status[3], f"moving, running open {status}")
        deadline = time.monotonic() + 5
        while client.read_discrete_inputs(0, 1, slave=1).bits[0]:
            check(time.monotonic() < deadline, "stroke ends")
            time.sleep(0.05)
        status = client.read_discrete_inputs(0, 16, slave=1).bits[:8]
        check(status[2] and not status[1] and status[5], f"fully open, remote {status}")
        check(client.read_input_registers(3, 1, slave=1).registers == [1000], "position 100.0 %")
        profile = client.read_holding_registers(34, 11, slave=1).registers
        check(all(0 < t <= 120 for t in profile) and profile[0] > profile[5], f"open profile {profile}")
        check(client.read_holding_registers(56, 4, slave=1).registers == [0, 0, 1, 0], "open operations")

        # Relays: coils 5 to 8 read as four from reference 5.
        check(not client.write_coil(6, True, slave=1).isError(), "relay 3 on")
        relays = client.read_coils(4, 4, slave=1).bits[:4]
        check(relays == [False, False, True, False], f"relays {relays}")
    finally:
        client.close()
        sim.close()
    print("PASS")


if __name__ == "__main__":
    try:
        main()
    except AssertionError as failure:
        print(f"FAIL {failure}")
        sys.exit(1)
