"""Finding libzr48 and zr48-api.json, in a fresh interpreter each."""
import os
import subprocess
import sys

import pytest


def run(code, **env):
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          env={**os.environ, **env}, check=False)


@pytest.mark.parametrize("variable,value,error", [
    ("ZR48_LIBRARY", "/nonexistent/libzr48.so.1", "OSError"),
    ("ZR48_API_JSON", "/nonexistent/zr48-api.json", "FileNotFoundError"),
])
def test_a_path_from_the_environment_is_used(variable, value, error):
    result = run("import zr48; zr48.api().ZR48_error_message(0, 0)", **{variable: value})
    assert error in result.stderr and value in result.stderr


def test_the_package_finds_its_library_and_description_next_to_itself():
    result = run("import zr48; print(zr48.api().ZR48_error_message(0, 0))",
                 ZR48_LIBRARY="", ZR48_API_JSON="")
    assert result.returncode == 0, result.stderr
    assert "Success" in result.stdout or result.stdout.strip()
