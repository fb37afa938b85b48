#!/usr/bin/python3
"""What the Python package adds to a call of the C driver.

A simulated session (Simulate=1) sends nothing, so each case is the call's own cost: the C call
(bench_driver's Simulated/InstrumentFunction, ZR48_SetVoltage), the same call through bare ctypes,
through the package's low level (psu.api.ZR48_SetVoltage) and through its Pythonic layer
(psu.ch2.voltage = 1.5). Each Python case is the median over repetitions of the mean time per call;
the process is pinned to one CPU, as the C benchmark is (taskset).

usage: PYTHONPATH=build/release/python bench_python.py --bench-driver build/release/bench/driver/bench_driver
"""
import argparse
import ctypes
import json
import os
import shutil
import statistics
import subprocess
import time

import zr48

PINNED_CPU = 0
TARGET_NS = 5000  # added by the package per instrument function


def per_call_ns(call, min_time, repetitions):
    means = []
    for _ in range(repetitions):
        count = 0
        start = time.perf_counter_ns()
        deadline = start + int(min_time * 1e9)
        now = start
        while now < deadline:
            for _ in range(100):
                call()
            count += 100
            now = time.perf_counter_ns()
        means.append((now - start) / count)
    return statistics.median(means)


def c_call_ns(bench_driver, min_time, repetitions):
    command = [bench_driver, "--benchmark_filter=^Simulated/InstrumentFunction$",
               "--benchmark_format=json", f"--benchmark_min_time={min_time}",
               f"--benchmark_repetitions={repetitions}", "--benchmark_report_aggregates_only=true"]
    if shutil.which("taskset"):
        command = ["taskset", "-c", str(PINNED_CPU), *command]
    report = json.loads(subprocess.run(command, capture_output=True, text=True, check=True).stdout)
    for run in report["benchmarks"]:
        if run.get("aggregate_name") == "median":
            scale = {"ns": 1, "us": 1e3, "ms": 1e6}[run["time_unit"]]
            return run["real_time"] * scale
    raise RuntimeError("no median in bench_driver's report")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bench-driver", required=True)
    parser.add_argument("--min-time", type=float, default=0.5)
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--out", help="also write the results as JSON")
    args = parser.parse_args()

    c_ns = c_call_ns(args.bench_driver, args.min_time, args.repetitions)
    os.sched_setaffinity(0, {PINNED_CPU})
    with zr48.Session("TCPIP::127.0.0.1::5025::SOCKET", options="Simulate=1") as psu:
        raw = zr48.library().ZR48_SetVoltage
        raw.argtypes = [ctypes.c_uint32, ctypes.c_char_p, ctypes.c_char_p]
        vi = psu.vi
        channel = psu.ch2

        def pythonic():
            channel.voltage = 1.5

        cases = {
            "bare ctypes": lambda: raw(vi, b"1.5", b"ch2"),
            "psu.api.ZR48_SetVoltage": lambda: psu.api.ZR48_SetVoltage("1.5", "ch2"),
            "psu.ch2.voltage = 1.5": pythonic,
        }
        results = {name: per_call_ns(call, args.min_time, args.repetitions)
                   for name, call in cases.items()}

    print("| Case (simulated session, pinned) | Per call | Added to the C call | Target | Met |")
    print("|---|---|---|---|---|")
    print(f"| C: ZR48_SetVoltage | {c_ns / 1e3:.2f} us | - | - | - |")
    for name, ns in results.items():
        added = ns - c_ns
        target = f"< {TARGET_NS / 1e3:g} us" if name == "psu.api.ZR48_SetVoltage" else "-"
        met = ("yes" if added < TARGET_NS else "no") if target != "-" else "-"
        print(f"| Python: {name} | {ns / 1e3:.2f} us | {added / 1e3:+.2f} us | {target} | {met} |")
    if args.out:
        with open(args.out, "w", encoding="utf-8") as out:
            json.dump({"c_ns": c_ns, **{k: v for k, v in results.items()}}, out, indent=1)


if __name__ == "__main__":
    main()
