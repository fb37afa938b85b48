#!/usr/bin/python3
"""Prints the performance table from one run of scripts/bench.sh: each case, its median, the
baseline measured in the same run, their ratio, the target and whether it is met.

Inputs: the Google Benchmark JSON of bench_driver (repetitions, aggregates), the JSON of its
memory case (run in a process of its own) and the JSON of bench/pyvisa/bench_pyvisa.py.
"""
import argparse
import json

EXCHANGES = ["SetVoltage", "MeasVolt", "GetApply", "OutpUncached"]
DRIVER_OVER_PLAIN_PINNED = 1.10  # the driver's round trip, pinned, over the plain socket's
DRIVER_SHARE_OF_PYVISA = 0.10  # the driver's added cost over pyvisa-py's added cost


def load_google(path):
    """{run name: {real_ns, cpu_ns, counters...}} from the median aggregates (or single runs)."""
    scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
    runs = {}
    with open(path, encoding="utf-8") as data:
        for b in json.load(data)["benchmarks"]:
            if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
                continue
            name = b.get("run_name", b["name"])
            entry = dict(b)
            entry["real_ns"] = b["real_time"] * scale[b["time_unit"]]
            entry["cpu_ns"] = b["cpu_time"] * scale[b["time_unit"]]
            runs[name] = entry
    return runs


def time_text(ns):
    if ns < 0:
        return "-" + time_text(-ns)
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e3:
        return f"{ns / 1e3:.2f} us"
    return f"{ns:.1f} ns"


def signed_time_text(ns):
    return time_text(ns) if ns < 0 else "+" + time_text(ns)


def rate_text(per_second):
    return f"{per_second / 1e3:.1f} k/s"


class Table:
    def __init__(self):
        self.rows = []

    def add(self, case, median, baseline="-", ratio=None, target="-", met=None):
        ratio_text = "-" if ratio is None else f"{ratio:.3f}"
        met_text = "-" if met is None else ("yes" if met else "NO")
        self.rows.append((case, median, baseline, ratio_text, target, met_text))

    def print(self):
        header = ("case", "median", "baseline", "ratio", "target", "met?")
        widths = [max(len(str(r[i])) for r in self.rows + [header]) for i in range(6)]

        def line(cells):
            return "| " + " | ".join(str(c).ljust(w) for c, w in zip(cells, widths)) + " |"

        print(line(header))
        print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
        for row in self.rows:
            print(line(row))


def add_lan_forms(t, label, runs, name):
    """Rows for VXI-11 and HiSLIP beside SOCKET: `label` and `name` with {form} filled in."""
    socket = runs.get(name.format(form="socket"))
    for form, target in (("vxi11", None), ("hislip", HISLIP_OVER_SOCKET)):
        row = runs.get(name.format(form=form))
        if socket is None or row is None or row.get("error_occurred"):
            continue
        ratio = row["real_ns"] / socket["real_ns"]
        t.add(label.format(form=form) + " (wall)", time_text(row["real_ns"]),
              f"SOCKET {time_text(socket['real_ns'])}", ratio,
              f"<= {target:.2f}" if target else "-", ratio <= target if target else None)
        t.add(label.format(form=form) + " (client CPU)", time_text(row["cpu_ns"]),
              f"SOCKET {time_text(socket['cpu_ns'])}", row["cpu_ns"] / socket["cpu_ns"])


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--memory", required=True)
    parser.add_argument("--pyvisa", required=True)
    parser.add_argument("--visa", help="bench_visa results: the LAN resource forms")
    args = parser.parse_args()
    g = load_google(args.driver)
    g.update(load_google(args.memory))
    with open(args.pyvisa, encoding="utf-8") as data:
        py = json.load(data)["results"]
    t = Table()

    # Round trips through the driver beside the plain socket, same bytes, same simulator.
    for placement in ("pinned", "unpinned"):
        pinned = placement == "pinned"
        for exchange in EXCHANGES:
            driver = g[f"Loopback/Driver/{exchange}/{placement}"]
            plain = g[f"Loopback/Plain/{exchange}/{placement}"]
            ratio = driver["real_ns"] / plain["real_ns"]
            t.add(f"ZR48 {exchange}, {placement} (wall)", time_text(driver["real_ns"]),
                  f"plain socket {time_text(plain['real_ns'])}", ratio,
                  f"<= {DRIVER_OVER_PLAIN_PINNED:.2f}" if pinned else "-",
                  ratio <= DRIVER_OVER_PLAIN_PINNED if pinned else None)
        for exchange in EXCHANGES if pinned else []:
            driver = g[f"Loopback/Driver/{exchange}/{placement}"]
            one_send = g[f"Loopback/PlainOneSend/{exchange}/{placement}"]
            t.add(f"ZR48 {exchange}, {placement} (wall) vs one send per exchange",
                  time_text(driver["real_ns"]), f"plain, one send {time_text(one_send['real_ns'])}",
                  driver["real_ns"] / one_send["real_ns"])
        for exchange in EXCHANGES:
            driver = g[f"Loopback/Driver/{exchange}/{placement}"]
            plain = g[f"Loopback/Plain/{exchange}/{placement}"]
            t.add(f"ZR48 {exchange}, {placement} (client CPU)", time_text(driver["cpu_ns"]),
                  f"plain socket {time_text(plain['cpu_ns'])}",
                  driver["cpu_ns"] / plain["cpu_ns"])

    # Added cost per exchange: the driver over the C++ plain socket, pyvisa-py over the Python
    # plain socket (its own language's floor), both pinned, same simulator process.
    for exchange in EXCHANGES:
        for kind, key in (("wall", "real_ns"), ("client CPU", "cpu_ns")):
            driver = g[f"Loopback/Driver/{exchange}/pinned"][key]
            plain = g[f"Loopback/Plain/{exchange}/pinned"][key]
            pyvisa = py[f"Loopback/PyVisa/{exchange}/pinned"][key]
            python = py[f"Loopback/Python/{exchange}/pinned"][key]
            driver_added = driver - plain
            pyvisa_added = pyvisa - python
            ratio = driver_added / pyvisa_added if pyvisa_added > 0 else float("inf")
            t.add(f"{exchange} added cost, driver vs pyvisa-py, pinned ({kind})",
                  f"driver {signed_time_text(driver_added)}",
                  f"pyvisa-py {signed_time_text(pyvisa_added)} (py socket {time_text(python)})",
                  ratio, f"<= {DRIVER_SHARE_OF_PYVISA:.2f}", ratio <= DRIVER_SHARE_OF_PYVISA)

    # The same, the driver measured against the one-send floor instead (informational): what the
    # driver costs beyond the fewest system calls these bytes can take.
    for exchange in EXCHANGES:
        key = "cpu_ns"
        driver_added = (g[f"Loopback/Driver/{exchange}/pinned"][key] -
                        g[f"Loopback/PlainOneSend/{exchange}/pinned"][key])
        pyvisa_added = (py[f"Loopback/PyVisa/{exchange}/pinned"][key] -
                        py[f"Loopback/Python/{exchange}/pinned"][key])
        t.add(f"{exchange} added cost over one-send floor vs pyvisa-py, pinned (client CPU)",
              f"driver {signed_time_text(driver_added)}",
              f"pyvisa-py {signed_time_text(pyvisa_added)}", driver_added / pyvisa_added)

    # The driver's own cost in a simulated session, and session lifetime and footprint.
    for name, label, limit in (
        ("Simulated/InstrumentFunction", "simulated ZR48_SetVoltage", 150),
        ("Simulated/CachedAttributeGet", "cached ZR48_GetAttributeViReal64", 100),
        ("Simulated/RangeCheckedSet", "range-checked class attribute set", 200),
        ("Session/OpenClose", "open + close simulated session (ID query, reset)", 50_000),
    ):
        ns = g[name]["real_ns"]
        t.add(label, time_text(ns), target=f"<= {time_text(limit)}", met=ns <= limit)
    memory = g["Session/Memory/iterations:1"]
    for counter, label in (("rss_bytes_per_session", "RSS growth per open session (1,000 open)"),
                           ("heap_bytes_per_session", "heap in use per open session (1,000 open)")):
        value = memory[counter]
        t.add(label, f"{value / 1024:.1f} KiB", target="<= 64 KiB", met=value <= 64 * 1024)

    # Throughput (MeasVolt round trips, unpinned) and the simulator's ceiling.
    single = g["Throughput/OwnSessions/real_time/threads:1"]["items_per_second"]
    for threads in (1, 2, 4, 8):
        rate = g[f"Throughput/OwnSessions/real_time/threads:{threads}"]["items_per_second"]
        t.add(f"throughput, {threads} session(s) on own threads", rate_text(rate),
              f"1 session {rate_text(single)}", rate / single)
    shared = g["Throughput/SharedSession/real_time/threads:8"]["items_per_second"]
    t.add("throughput, 8 threads on one session", rate_text(shared),
          f"1 session {rate_text(single)}", shared / single)
    ceiling = max(g[f"Simulator/MaxQueryRate/real_time/threads:{n}"]["items_per_second"]
                  for n in (1, 2, 4, 8))
    best = max(g[f"Throughput/OwnSessions/real_time/threads:{n}"]["items_per_second"]
               for n in (1, 2, 4, 8))
    t.add("simulator's own maximum query rate (batched, best of 1-8 connections)", rate_text(ceiling),
          f"best driver rate {rate_text(best)}", ceiling / best)
    # MeasVolt through the driver over each LAN form of one pinned simulator, and pyvisa-py over
    # VXI-11 on the same one. Added cost as above: over the raw socket in each one's language.
    add_lan_forms(t, "ZR48 MeasVolt over {form}, pinned", g, "Lan/Driver/MeasVolt/{form}/pinned")
    lan_plain = g.get("Lan/Plain/MeasVolt/socket/pinned")
    driver_vxi11 = g.get("Lan/Driver/MeasVolt/vxi11/pinned")
    pyvisa_vxi11 = py.get("Lan/PyVisa/MeasVolt/vxi11/pinned")
    python_plain = py.get("Lan/Python/MeasVolt/socket/pinned")
    if pyvisa_vxi11 is not None:
        t.add("pyvisa-py MeasVolt over vxi11, pinned (wall)", time_text(pyvisa_vxi11["real_ns"]),
              f"ZR48 {time_text(driver_vxi11['real_ns'])}" if driver_vxi11 else "-",
              driver_vxi11["real_ns"] / pyvisa_vxi11["real_ns"] if driver_vxi11 else None)
    if None not in (lan_plain, driver_vxi11, pyvisa_vxi11, python_plain) and \
            not driver_vxi11.get("error_occurred"):
        driver_added = driver_vxi11["cpu_ns"] - lan_plain["cpu_ns"]
        pyvisa_added = pyvisa_vxi11["cpu_ns"] - python_plain["cpu_ns"]
        ratio = driver_added / pyvisa_added if pyvisa_added > 0 else float("inf")
        t.add("MeasVolt over vxi11 added cost, driver vs pyvisa-py, pinned (client CPU)",
              f"driver {signed_time_text(driver_added)}",
              f"pyvisa-py {signed_time_text(pyvisa_added)} (py socket "
              f"{time_text(python_plain['cpu_ns'])}, C++ socket {time_text(lan_plain['cpu_ns'])})",
              ratio, f"<= {DRIVER_SHARE_OF_PYVISA:.2f}", ratio <= DRIVER_SHARE_OF_PYVISA)

    # The MeasVolt exchange over each LAN resource form of one simulator (in-process, unpinned).
    if args.visa:
        v = load_google(args.visa)
        add_lan_forms(t, "I/O layer MeasVolt over {form}", v, "Lan_MeasureVoltage/{form}")
    t.print()


# HiSLIP adds one 16-byte header each way to a raw socket exchange.
HISLIP_OVER_SOCKET = 1.3

if __name__ == "__main__":
    main()
