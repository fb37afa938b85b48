"""Fixtures: the zr48 tool and a zr48-sim of its own on a loopback address."""
import os
import re
import subprocess

import pytest

ADDRESS = "127.0.0.17"


@pytest.fixture(scope="session")
def resource():
    process = subprocess.Popen([os.environ["ZR48_SIM"], "--bind", ADDRESS, "--port", "0"],
                               stdout=subprocess.PIPE, text=True)
    match = re.search(r":(\d+)$", process.stdout.readline().strip())
    assert match
    yield f"TCPIP::{ADDRESS}::{match.group(1)}::SOCKET"
    process.terminate()
    process.wait()


def zr48(*args, env=None, check=None):
    """Runs the tool; returns (exit code, stdout, stderr)."""
    result = subprocess.run([os.environ["ZR48_CLI"], *args], capture_output=True, text=True,
                            env={**os.environ, **(env or {})}, timeout=60, check=False)
    if check is not None:
        assert result.returncode == check, result.stderr
    return result.returncode, result.stdout, result.stderr


@pytest.fixture
def fresh(resource):
    """The simulator as after *RST, with an empty error queue."""
    zr48("scpi", resource, "*RST", "*CLS", check=0)
    return resource
