#!/usr/bin/env python3
"""Runs the TCPIP classes of PyVISA's assisted tests against `zr48-sim --echo` through one VISA
library, prints every test's outcome and the counts, and (with --expected) fails when a test of
the expected-pass list does not pass.

The suite's resource names are fixed (TCPIP::127.0.0.1::INSTR through the portmapper on port 111,
TCPIP::127.0.0.1::5025::SOCKET), so the simulator binds those; ctest runs this alone.

  run_assisted.py --sim build/default/sim/zr48-sim --library build/default/libzr48visa.so.1
  run_assisted.py --sim build/default/sim/zr48-sim --library @py          # pyvisa-py
"""
import argparse
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

SUITE = "pyvisa.testsuite.keysight_assisted_tests"
FILE = "test_tcpip_resources.py"


def start_simulator(sim):
    process = subprocess.Popen(
        [sim, "--echo", "--bind", "127.0.0.1", "--port", "5025", "--portmapper-port", "111",
         "--no-hislip"],
        stdout=subprocess.PIPE, text=True)
    lines = []
    for line in process.stdout:
        lines.append(line)
        if "portmapper" in line:
            break
    if not any(line.startswith("zr48-sim portmapper on") for line in lines):
        process.terminate()
        process.wait()
        sys.exit("zr48-sim --echo did not serve everything:\n" + "".join(lines))
    return process


def outcomes(junit_xml):
    result = {}
    for case in ET.parse(junit_xml).getroot().iter("testcase"):
        name = case.get("classname").rsplit(".", 1)[-1] + "::" + case.get("name")
        kinds = {child.tag for child in case}
        if "failure" in kinds or "error" in kinds:
            result[name] = "failed"
        elif "skipped" in kinds:
            result[name] = "skipped"
        else:
            result[name] = "passed"
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sim", required=True)
    parser.add_argument("--library", required=True, help="a VISA library's path, or @py")
    parser.add_argument("--expected", help="the expected-pass list")
    args = parser.parse_args()

    import pyvisa.testsuite.keysight_assisted_tests as suite
    path = os.path.join(os.path.dirname(suite.__file__), FILE)
    env = dict(os.environ, PYVISA_KEYSIGHT_VIRTUAL_INSTR="1", PYVISA_LIBRARY=args.library)
    sim = start_simulator(args.sim)
    try:
        with tempfile.TemporaryDirectory() as tmp:
            xml = os.path.join(tmp, "junit.xml")
            subprocess.run([sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider",
                            "-o", "junit_family=xunit1", f"--junitxml={xml}", path],
                           env=env, cwd=tmp, stdout=subprocess.DEVNULL, check=False)
            result = outcomes(xml)
    finally:
        sim.terminate()
        sim.wait()

    for name, outcome in sorted(result.items()):
        print(f"{outcome:8} {name}")
    passed = sorted(n for n, o in result.items() if o == "passed")
    print(f"{args.library}: {len(passed)} passed, "
          f"{sum(o == 'failed' for o in result.values())} failed, "
          f"{sum(o == 'skipped' for o in result.values())} skipped, of {len(result)}")
    if not args.expected:
        return 0
    with open(args.expected, encoding="utf-8") as f:
        expected = [line.strip() for line in f if line.strip() and not line.startswith("#")]
    missing = [name for name in expected if result.get(name) != "passed"]
    for name in missing:
        print(f"EXPECTED TO PASS: {name} ({result.get(name, 'not run')})")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
