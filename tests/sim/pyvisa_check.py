#!/usr/bin/python3
"""An independent client against zr48-sim: Debian's PyVISA with the pyvisa-py backend opens the
simulator over raw socket and VXI-11 (and HiSLIP where pyvisa-py has it), writes, queries *IDN?
and MEAS:VOLT?, reads the status byte, and closes.

usage: pyvisa_check.py ZR48_SIM_PROGRAM [BIND_ADDRESS]
Exit status 0 on success, 1 on a failed check, 77 when pyvisa-py is not installed.
"""

import importlib.util
import subprocess
import sys

IDN = "Velharn, HLV3907, 0123456789AF, 1.00-1.00"


def start(program, address):
    sim = subprocess.Popen([program, "--bind", address, "--hislip-port", "0"],
                           stdout=subprocess.PIPE, text=True)
    lines = [sim.stdout.readline().strip() for _ in range(5)]
    resources = {}
    for line in lines:
        if ": TCPIP::" in line:
            name = line.split(": ", 1)[1]
            resources[line.split()[1]] = name
        if line.startswith("zr48-sim portmapper not served"):
            resources.pop("VXI-11", None)
            print("skipped VXI-11: " + line)
    return sim, resources


def check(rm, name):
    inst = rm.open_resource(name)
    try:
        inst.timeout = 3000
        inst.read_termination = "\n"
        inst.write_termination = "\n"
        got = inst.query("*IDN?")
        assert got == IDN, f"{name}: *IDN? gave {got!r}"
        inst.write("INST ch2;VOLT 3.25;OUTP ON")
        volts = float(inst.query("MEAS:VOLT? ch2"))
        assert abs(volts - 3.25) < 1e-9, f"{name}: MEAS:VOLT? gave {volts}"
        if name.endswith("::INSTR"):
            inst.assert_trigger()
            inst.clear()
            stb = inst.read_stb()
            assert stb & 0x10 == 0, f"{name}: status byte {stb} shows a reply after clear"
        inst.write("OUTP OFF")
    finally:
        inst.close()
    print("ok " + name)


def main():
    if importlib.util.find_spec("pyvisa_py") is None:
        print("skipped: python3-pyvisa-py is not installed")
        return 77
    import pyvisa  # noqa: E402 (after the check above)

    program = sys.argv[1]
    address = sys.argv[2] if len(sys.argv) > 2 else "127.0.13.20"
    sim, resources = start(program, address)
    try:
        if importlib.util.find_spec("pyvisa_py.protocols.hislip") is None:
            print("skipped HiSLIP: this pyvisa-py has no HiSLIP client")
            resources.pop("HiSLIP", None)
        rm = pyvisa.ResourceManager("@py")
        for name in resources.values():
            check(rm, name)
        rm.close()
    except AssertionError as failure:
        print("FAILED " + str(failure))
        return 1
    finally:
        sim.terminate()
        sim.wait(timeout=10)
    return 0


if __name__ == "__main__":
    sys.exit(main())
