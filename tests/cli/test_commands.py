"""Each command of the zr48 tool through the simulated supply: output, exit codes, bad input."""
import json
import os
import re
import signal
import subprocess
from pathlib import Path

import pytest

from conftest import zr48

IDN = "Velharn, HLV3907, 0123456789AF, 1.00-1.00"


def test_idn_prints_the_identification_as_text_or_json(fresh):
    assert zr48("idn", fresh, check=0)[1] == IDN + "\n"
    parsed = json.loads(zr48("idn", fresh, "--json", check=0)[1])
    assert parsed == {"resource": fresh, "idn": IDN, "manufacturer": "Velharn",
                      "model": "HLV3907", "serial": "0123456789AF", "firmware": "1.00-1.00"}


def test_set_then_get_and_measure(fresh):
    zr48("set", fresh, "ch2", "--volt", "12.5", "--curr", "0.5", "--ovp", "14", "--on", check=0)
    assert zr48("get", fresh, "ch2", check=0)[1] == \
        "voltage 12.5 V\ncurrent 0.5 A\novp 14 V\noutput on\n"
    assert json.loads(zr48("get", fresh, "ch2", "--volt", "--json", check=0)[1]) == \
        {"channel": "ch2", "voltage": 12.5}
    table = zr48("measure", fresh, check=0)[1].splitlines()
    assert table[0].split() == ["CH", "VOLTAGE", "CURRENT", "POWER", "MODE", "OVP", "OUTPUT"]
    assert table[2] == "ch2    5.000 V   0.5000 A    2.500 W  CC    ok       on"
    assert table[7] == "ch7    0.000 V   0.0000 A    0.000 W  off   ok       off"
    sample = json.loads(zr48("measure", fresh, "ch2", "--json", check=0)[1])
    assert sample["channels"] == [{"channel": "ch2", "voltage": 5.0, "current": 0.5,
                                   "power": 2.5, "mode": "CC", "ovp_tripped": False,
                                   "output": True}]


def test_measure_logs_csv(fresh, tmp_path):
    zr48("set", fresh, "ch1", "--volt", "2", "--curr", "1", "--on", check=0)
    log = tmp_path / "run.csv"
    zr48("measure", fresh, "ch1", "--csv", str(log), check=0)
    header, row = log.read_text().splitlines()
    assert header == "time,channel,voltage,current,power,mode,ovp_tripped,output"
    assert re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z,ch1,2,0\.2,0\.4,CV,0,1", row), row


def test_scpi_and_errors(fresh):
    assert zr48("scpi", fresh, "MEAS:VOLT? CH3", check=0)[1] == "+0.00000E+00\n"
    code, out, err = zr48("scpi", fresh, "NO:SUCH:HEADER")
    assert (code, out, err) == (1, "", 'instrument error: -113,"Undefined header"\n')
    zr48("scpi", fresh, "VOLT 999", check=1)
    zr48("scpi", fresh, "OUTP:BAD 1", check=1)
    assert zr48("errors", fresh, check=0)[1] == "no errors\n"  # each line drained its own
    zr48("scpi", fresh, "*CLS")
    assert json.loads(zr48("errors", fresh, "--json", check=0)[1]) == []


def test_set_reports_what_the_instrument_refused(fresh):
    code, _, err = zr48("set", fresh, "ch1", "--volt", "99")
    assert code == 1 and '-222,"Data out of range"' in err


def test_bench_reports_percentiles(fresh):
    result = json.loads(zr48("bench", fresh, "-n", "50", "--json", check=0)[1])
    assert result["count"] == 50
    assert 0 < result["min_us"] <= result["p50_us"] <= result["p99_us"] <= result["max_us"]


def test_trace_runs_a_program_with_the_io_trace(fresh, tmp_path):
    log = tmp_path / "io.log"
    code, out, _ = zr48("trace", "--file", str(log), "--", os.environ["ZR48_CLI"], "idn", fresh)
    assert (code, out) == (0, IDN + "\n")
    assert '"*IDN?\\n"' in log.read_text()


def test_the_resource_may_come_from_the_environment(fresh):
    assert zr48("idn", env={"ZR48_RESOURCE": fresh}, check=0)[1] == IDN + "\n"


FAILURES = [
    ("no_command", [], 2, "A subcommand is required"),
    ("unknown_option", ["idn", "{r}", "--bogus"], 2, "--bogus"),
    ("bad_channel", ["set", "{r}", "ch9", "--volt", "1"], 2, "use ch1 to ch7 or all"),
    ("negative_level", ["set", "{r}", "ch1", "--volt", "-1"], 2, "not a level"),
    ("text_level", ["set", "{r}", "ch1", "--curr", "lots"], 2, "not a level"),
    ("nothing_to_set", ["set", "{r}", "ch1"], 2, "nothing to set"),
    ("on_and_off", ["set", "{r}", "ch1", "--on", "--off"], 2, "excludes"),
    ("bad_interval", ["measure", "{r}", "all", "--watch", "fast"], 2, "bad interval"),
    ("malformed_resource", ["idn", "TCPIP::nowhere::SOCKET::X"], 2, "A resource looks like"),
    ("nothing_listens", ["idn", "TCPIP::127.0.0.17::1::SOCKET"], 3, "is listening there"),
    ("no_program", ["trace", "--", "/nonexistent/program"], 2, "cannot run"),
    ("no_discovery", ["find"], 3, "instrument discovery is not available"),
]


@pytest.mark.parametrize("args,code,message", [f[1:] for f in FAILURES],
                         ids=[f[0] for f in FAILURES])
def test_failures_exit_with_their_documented_code(resource, args, code, message):
    env = {"ZR48_RESOURCE": ""}
    if args == ["find"]:  # no VISA library to search with; the driver's own I/O needs none
        env["ZR48_VISA_LIBRARY"] = "/nonexistent/libvisa.so"
    result = zr48(*[a.format(r=resource) for a in args], env=env)
    assert result[0] == code, result
    assert message in result[2]


def test_the_man_page_documents_every_command():
    help_text = zr48("--help", check=0)[1]
    commands = re.findall(r"^  (\w+) {2,}", help_text.split("Subcommands:")[1], re.M)
    assert len(commands) >= 9
    page = Path(os.environ["ZR48_MAN_PAGE"]).read_text()
    for command in commands:
        assert f"\\fB{command}\\fR" in page, command
    for code in ("0", "1", "2", "3"):
        assert f".TP\n{code}\n" in page


def test_watch_without_a_terminal_prints_json_lines_and_logs_until_interrupted(fresh, tmp_path):
    log = tmp_path / "watch.csv"
    process = subprocess.Popen([os.environ["ZR48_CLI"], "measure", fresh, "ch1", "--watch",
                                "50ms", "--json", "--csv", str(log)],
                               stdout=subprocess.PIPE, text=True)
    samples = [json.loads(process.stdout.readline()) for _ in range(3)]
    process.send_signal(signal.SIGINT)
    rest = process.stdout.read()
    assert process.wait(timeout=30) == 0
    assert all(s["channels"][0]["channel"] == "ch1" for s in samples)
    assert samples[0]["time"] < samples[1]["time"] < samples[2]["time"]
    written = log.read_text().splitlines()
    assert len(written) == 1 + 3 + rest.count("\n")  # the header, then one row per sample
