"""mbpoll as an independent Modbus RTU master for the slave-mode tests.

    mbpoll_master.py DEVICE UNIT OPERATION...

Operations as for scan_modbus_master (zero-based addresses):
    read-coils A N, read-inputs A N, read-holding A N, read-input-registers A N,
    write-coil A 0|1, write-register A V, write-coils A b,b,..., write-registers A v,v,...,
    report-slave-id
Each operation is one run of mbpoll. Prints one line per operation: "<operation> OK <values>",
"<operation> EXCEPTION <code>" or "<operation> ERROR <text>", then "DONE".
"""
import re
import subprocess
import sys

TABLES = {"read-coils": "0", "read-inputs": "1", "read-input-registers": "3", "read-holding": "4",
          "write-coil": "0", "write-coils": "0", "write-register": "4", "write-registers": "4"}
# mbpoll reports exceptions with libmodbus's texts.
EXCEPTIONS = {"Illegal function": 1, "Illegal data address": 2, "Illegal data value": 3,
              "Slave device or server failure": 4}


def mbpoll(device, unit, options, values=()):
    # Options first, then the device, then any values to write.
    command = ["mbpoll", "-m", "rtu", "-b", "9600", "-P", "none", "-a", str(unit), "-1", "-o", "1"]
    run = subprocess.run(command + options + [device] + list(values), capture_output=True, text=True, timeout=30)
    return run.returncode, run.stdout, run.stderr


def result(what, rc, out, err):
    failure = re.search(r"failed(?:\(-?\d+\))?: (.+)", err + out)
    if failure:
        text = failure.group(1).strip()
        if text in EXCEPTIONS:
            return "%s EXCEPTION %d" % (what, EXCEPTIONS[text])
        return "%s ERROR %s" % (what, text)
    if rc != 0:
        lines = (err or out).strip().splitlines()
        return "%s ERROR exit %d: %s" % (what, rc, lines[-1] if lines else "")
    values = re.findall(r"^\[\d+\]:\s+(-?\d+)", out, re.MULTILINE)
    return ("%s OK %s" % (what, " ".join(values))).rstrip()


def main():
    device, unit, ops = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    i = 0
    while i < len(ops):
        op = ops[i]
        if op == "report-slave-id":
            print(result(op, *mbpoll(device, unit, ["-u"])), flush=True)
            i += 1
            continue
        a, b = ops[i + 1], ops[i + 2]
        what = "%s %s %s" % (op, a, b)
        i += 3
        if op not in TABLES:
            print("%s ERROR unknown operation" % op, flush=True)
            continue
        options = ["-0", "-t", TABLES[op], "-r", a]
        if op.startswith("read-"):
            print(result(what, *mbpoll(device, unit, options + ["-c", b])), flush=True)
        else:
            print(result(what, *mbpoll(device, unit, options, [v for v in b.split(",") if v])), flush=True)
    print("DONE", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
