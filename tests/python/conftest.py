"""Fixtures: a zr48-sim on its own loopback address, sessions to it, and the driver's I/O trace.

The trace (ZR48_VISA_TRACE) is switched on for this process before the library is loaded, so a
test sees every byte the driver wrote, as the simulator received it.
"""
import os
import re
import subprocess
import tempfile
from pathlib import Path

import pytest

TRACE = Path(tempfile.mkdtemp(prefix="zr48-pytest-")) / "io.log"
os.environ["ZR48_VISA_TRACE"] = str(TRACE)

import zr48  # noqa: E402  (after the trace is chosen)

ADDRESS = "127.0.0.16"


@pytest.fixture(scope="session")
def simulator():
    process = subprocess.Popen([os.environ["ZR48_SIM"], "--bind", ADDRESS, "--port", "0"],
                               stdout=subprocess.PIPE, text=True)
    line = process.stdout.readline()
    match = re.search(r":(\d+)$", line.strip())
    assert match, f"zr48-sim said {line!r}"
    yield f"TCPIP::{ADDRESS}::{match.group(1)}::SOCKET"
    process.terminate()
    process.wait()


@pytest.fixture
def psu(simulator):
    with zr48.Session(simulator, reset=True) as session:
        yield session


class Wire:
    """The lines the driver wrote since the fixture began."""

    def __init__(self) -> None:
        self.start = TRACE.stat().st_size if TRACE.exists() else 0

    def writes(self) -> list[str]:
        with open(TRACE, encoding="utf-8") as log:
            log.seek(self.start)
            text = log.read()
        found = re.findall(r' viWrite vi=\S+ VI_SUCCESS \(0x00000000\) "(.*)"$', text, re.M)
        return [w.encode().decode("unicode_escape") for w in found]


@pytest.fixture
def wire(psu):
    return Wire()
