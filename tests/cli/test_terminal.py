"""The interactive SCPI shell and the live measure view, driven through tmux like a user would."""
import os
import shlex
import subprocess
import time

import pytest

from conftest import zr48

DEADLINE = 15.0  # seconds to wait for the screen to show what is expected


def last_line(screen):
    """The last line with text (tmux drops trailing blanks)."""
    lines = [line for line in screen.splitlines() if line.strip()]
    return lines[-1] if lines else ""


class Terminal:
    """One tmux server of its own, with one pane running a command."""

    def __init__(self, tmp_path, command, env):
        self.socket = f"zr48-test-{os.getpid()}-{id(self)}"
        config = tmp_path / "tmux.conf"
        config.write_text("set -g remain-on-exit on\n")
        exports = " ".join(f"{k}={shlex.quote(v)}" for k, v in env.items())
        # The shell outlives Ctrl-C (its trap runs a no-op; the program gets the default action)
        # and keeps the program's exit status: tmux may learn of the program's end late.
        self.status_file = tmp_path / f"status-{id(self)}"
        self.tmux("-f", str(config), "new-session", "-d", "-x", "110", "-y", "30",
                  f"trap : INT; env {exports} {command}; echo $? > {self.status_file}.part && "
                  f"mv {self.status_file}.part {self.status_file}")

    def tmux(self, *args):
        return subprocess.run(["tmux", "-L", self.socket, *args], capture_output=True, text=True,
                              check=True).stdout

    def keys(self, *keys):
        self.tmux("send-keys", *keys)

    def screen(self):
        return self.tmux("capture-pane", "-p")

    def wait_for(self, predicate, what):
        deadline = time.monotonic() + DEADLINE
        while time.monotonic() < deadline:
            text = self.screen()
            if predicate(text):
                return text
            time.sleep(0.05)  # polling the screen; tmux has no event to wait on
        pytest.fail(f"the screen never showed {what}:\n{self.screen()}")

    def exit_status(self):
        self.wait_for(lambda _: self.status_file.exists() and self.status_file.read_text(),
                      "the program ending")
        return int(self.status_file.read_text())

    def close(self):
        subprocess.run(["tmux", "-L", self.socket, "kill-server"], capture_output=True, check=False)


@pytest.fixture
def terminal(tmp_path):
    opened = []

    def open_terminal(command, **env):
        opened.append(Terminal(tmp_path, command, env))
        return opened[-1]

    yield open_terminal
    for term in opened:
        term.close()


def test_the_shell_answers_completes_and_remembers(fresh, terminal, tmp_path):
    history = tmp_path / "history"
    term = terminal(f"{os.environ['ZR48_CLI']} scpi {fresh}", ZR48_HISTORY=str(history))
    term.wait_for(lambda s: last_line(s) == "zr48>", "the prompt")
    term.keys("*IDN?", "Enter")
    term.wait_for(lambda s: "Velharn, HLV3907" in s, "the identification")
    term.keys("MEAS:VO", "Tab")
    term.wait_for(lambda s: last_line(s) == "zr48> MEAS:VOLT?", "the completed header")
    term.keys("CH1", "Enter")
    term.wait_for(lambda s: "+0.00000E+00" in s, "the measurement")
    term.keys("BOGUS", "Enter")
    term.wait_for(lambda s: 'instrument error: -113,"Undefined header"' in s, "the error")
    term.keys("Up", "Up")
    term.wait_for(lambda s: last_line(s) == "zr48> MEAS:VOLT? CH1", "the recalled line")
    term.keys("C-u", "C-d")
    assert term.exit_status() == 1  # one line failed
    assert history.read_text().splitlines()[-3:] == ["*IDN?", "MEAS:VOLT? CH1", "BOGUS"]


def test_measure_watch_redraws_the_seven_outputs_until_ctrl_c(fresh, terminal):
    term = terminal(f"{os.environ['ZR48_CLI']} measure {fresh} all --watch 0.2s")
    first = term.wait_for(lambda s: "sample 2 " in s and "ch7" in s, "two samples of all channels")
    assert all(f"ch{n} " in first for n in range(1, 8))
    zr48("set", fresh, "ch4", "--volt", "3.3", "--curr", "1", "--on", check=0)
    term.wait_for(lambda s: "ch4    3.300 V   0.3300 A    1.089 W  CV    ok       on" in s,
                  "channel 4's new reading")
    term.keys("C-c")
    assert term.exit_status() == 0
