"""The Pythonic layer: a session to the supply, its channels and its attributes as properties."""
from __future__ import annotations

import ctypes
import re
import threading
from contextlib import contextmanager
from dataclasses import dataclass
from typing import Any, Iterator, Mapping

from ._api import Api, check, description, library

CHANNELS = tuple(f"ch{n}" for n in range(1, 8))
_NUMBER = re.compile(r"[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?")


def to_float(reply: str) -> float:
    """The number in a reply ("12.500", "+1.25E+01", "12.5V")."""
    match = _NUMBER.search(reply)
    if match is None:
        raise ValueError(f"no number in reply {reply!r}")
    return float(match.group(0))


def to_bool(reply: str) -> bool:
    """A SCPI Boolean reply ("1", "ON", "0", "OFF")."""
    text = reply.strip().upper()
    if text in ("1", "ON"):
        return True
    if text in ("0", "OFF"):
        return False
    raise ValueError(f"not a Boolean reply: {reply!r}")


def _property_name(constant: str) -> str:
    return constant.removeprefix("ZR48_ATTR_").lower()


class _Attributes:
    """Attributes as properties: reads and writes go through ZR48_Get/SetAttribute<Type>."""

    _GETTERS = {"ViInt32": "ZR48_GetAttributeViInt32", "ViReal64": "ZR48_GetAttributeViReal64",
                "ViString": "ZR48_GetAttributeViString", "ViBoolean": "ZR48_GetAttributeViBoolean",
                "ViSession": "ZR48_GetAttributeViSession"}

    def __init__(self, api: Api, channel: str, channel_based: bool) -> None:
        object.__setattr__(self, "_api", api)
        object.__setattr__(self, "_channel", channel)
        specs = {_property_name(a["name"]): a for a in description()["attributes"]
                 if a["channel_based"] == channel_based}
        object.__setattr__(self, "_specs", specs)

    def _spec(self, name: str) -> dict[str, Any]:
        spec = self._specs.get(name)
        if spec is None:
            raise AttributeError(f"no attribute {name!r} here")
        return spec

    def __getattr__(self, name: str) -> Any:
        spec = self._spec(name)
        value = getattr(self._api, self._GETTERS[spec["type"]])(self._channel, spec["id"])
        return value.rstrip("\n") if isinstance(value, str) else value

    def __setattr__(self, name: str, value: Any) -> None:
        spec = self._spec(name)
        setter = self._GETTERS[spec["type"]].replace("Get", "Set", 1)
        if spec["type"] == "ViString" and isinstance(value, bool):
            value = "ON" if value else "OFF"
        elif spec["type"] == "ViString":
            value = str(value)
        getattr(self._api, setter)(self._channel, spec["id"], value)

    def __dir__(self) -> list[str]:
        return list(self._specs)


class Channel:
    """One output: its levels, its output switch, its measurements and its attributes."""

    def __init__(self, api: Api, name: str) -> None:
        self._api = api
        self.name = name
        self.attributes = _Attributes(api, name, True)

    def __repr__(self) -> str:
        return f"<zr48.Channel {self.name}>"

    def __getattr__(self, name: str) -> Any:
        if name.startswith("_"):
            raise AttributeError(name)
        return getattr(self.attributes, name)

    def __setattr__(self, name: str, value: Any) -> None:
        if name in self.__dict__ or name.startswith("_") or hasattr(type(self), name) or \
                name in ("name", "attributes"):
            object.__setattr__(self, name, value)
        else:
            setattr(self.attributes, name, value)

    def __dir__(self) -> list[str]:
        return [*super().__dir__(), *dir(self.attributes)]

    @property
    def voltage(self) -> float:
        """Programmed voltage in volts ("VOLT?")."""
        return to_float(self._api.ZR48_GetVoltage("", channel_name=self.name))

    @voltage.setter
    def voltage(self, volts: float) -> None:
        self._api.ZR48_SetVoltage(f"{volts:g}", channel_name=self.name)

    @property
    def current(self) -> float:
        """Current limit in amperes ("CURR?")."""
        return to_float(self._api.ZR48_GetCurrent("", channel_name=self.name))

    @current.setter
    def current(self, amperes: float) -> None:
        self._api.ZR48_SetCurrent(f"{amperes:g}", channel_name=self.name)

    @property
    def ovp(self) -> float:
        """Over-voltage protection level in volts ("VOLT:PROT?")."""
        return to_float(self._api.ZR48_GetVoltProt("", channel_name=self.name))

    @ovp.setter
    def ovp(self, volts: float) -> None:
        self._api.ZR48_SetVoltProt(f"{volts:g}", channel_name=self.name)

    @property
    def output(self) -> bool:
        """Whether the output is switched on ("OUTP?")."""
        return to_bool(self.attributes.outp)

    @output.setter
    def output(self, on: bool) -> None:
        self.attributes.outp = bool(on)

    @property
    def ovp_tripped(self) -> bool:
        """Whether the over-voltage protection has tripped ("VOLT:PROT:TRIP?")."""
        return to_bool(self._api.ZR48_GetVoltProtTrip(channel_name=self.name))

    def clear_protection(self) -> None:
        """Clears a tripped over-voltage protection ("VOLT:PROT:CLE")."""
        self._api.ZR48_VoltProtClear(self.name)

    def measure_voltage(self) -> float:
        """Measured output voltage in volts ("MEAS:VOLT?")."""
        return to_float(self._api.ZR48_MeasVolt(self.name))

    def measure_current(self) -> float:
        """Measured output current in amperes ("MEAS:CURR?")."""
        return to_float(self._api.ZR48_MeasCurr(self.name))

    def measure_power(self) -> float:
        """Measured output power in watts ("MEAS:POW?")."""
        return to_float(self._api.ZR48_MeasPow(self.name))


@dataclass(frozen=True)
class StatusRegisters:
    """The IEEE 488.2 and SCPI status registers; reading the event registers clears them."""

    status_byte: int
    event_status: int
    questionable: int
    questionable_condition: int
    operation: int
    operation_condition: int


class Channels(Mapping[str, Channel]):
    """The seven outputs by name: ``psu.channels["ch2"]``."""

    def __init__(self, api: Api) -> None:
        self._channels = {name: Channel(api, name) for name in CHANNELS}

    def __getitem__(self, name: str) -> Channel:
        try:
            return self._channels[name.lower()]
        except KeyError:
            raise KeyError(f"no channel {name!r}; the channels are {', '.join(CHANNELS)}") from None

    def __iter__(self) -> Iterator[str]:
        return iter(self._channels)

    def __len__(self) -> int:
        return len(self._channels)


class Session:
    """A driver session to the supply; use it as a context manager.

    >>> with zr48.Session("TCPIP::127.0.0.1::5025::SOCKET") as psu:
    ...     psu.channels["ch2"].voltage = 12.5
    ...     psu.ch2.output = True
    ...     print(psu.ch2.measure_voltage())
    """

    def __init__(self, resource: str, id_query: bool = False, reset: bool = False,
                 options: str = "") -> None:
        self._closed = threading.Lock()
        self.resource = resource
        vi = Api().ZR48_InitWithOptions(resource, id_query, reset, options)
        self.vi: int = vi
        self.api = Api(vi)
        self.attributes = _Attributes(self.api, "", False)
        self.channels = Channels(self.api)
        self._open = True

    def __enter__(self) -> "Session":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        # A session left open is closed when collected; at interpreter exit nothing may be left
        # to close it with, so a failure here is ignored.
        if getattr(self, "_open", False):
            try:
                self.close()
            except Exception:  # noqa: BLE001
                pass

    def __repr__(self) -> str:
        state = "open" if self._open else "closed"
        return f"<zr48.Session {self.resource!r} {state}>"

    def close(self) -> None:
        """Closes the session; closing again does nothing."""
        with self._closed:
            if not self._open:
                return
            self._open = False
        check(self.api, "ZR48_close", library().ZR48_close(ctypes.c_uint32(self.vi)))

    def __getattr__(self, name: str) -> Any:
        if name.startswith("_") or name in ("api", "attributes", "channels", "vi"):
            raise AttributeError(name)
        if re.fullmatch(r"ch[1-7]", name):
            return self.channels[name]
        return getattr(self.attributes, name)

    def __setattr__(self, name: str, value: Any) -> None:
        if "attributes" in self.__dict__ and not name.startswith("_") and \
                name in dir(self.__dict__["attributes"]):
            setattr(self.attributes, name, value)
        else:
            object.__setattr__(self, name, value)

    def __dir__(self) -> list[str]:
        return [*super().__dir__(), *CHANNELS, *dir(self.attributes)]

    def scpi(self, command: str) -> str | None:
        """Sends one SCPI line; returns the reply (without its line feed) for a query."""
        if "?" in command:
            return self.api.ZR48_ReadCmd(command).rstrip("\n")
        self.api.ZR48_WriteCmd(command)
        return None

    def errors(self) -> list[tuple[int, str]]:
        """Drains the instrument's error queue: every (code, message) until "0,No error"."""
        found = []
        for _ in range(256):  # a queue is bounded; never loop forever on a broken reply
            code, message = self.api.ZR48_error_query()
            if code == 0:
                break
            found.append((code, message.strip()))
        return found

    def status(self) -> StatusRegisters:
        """Reads the status byte, the event status register and the SCPI status registers.

        Each is asked of the instrument now: the driver keeps the register attributes
        (``psu.esr``, ``psu.stat_oper``, ...) in its cache after their first read, until
        ``psu.api.ZR48_InvalidateAllAttributes()`` or a reset.
        """
        queries = ("*STB?", "*ESR?", "STAT:QUES?", "STAT:QUES:COND?", "STAT:OPER?",
                   "STAT:OPER:COND?")
        with self.lock():
            values = [int(to_float(self.api.ZR48_ReadCmd(query))) for query in queries]
        return StatusRegisters(*values)

    @contextmanager
    def lock(self) -> Iterator["Session"]:
        """Holds the session lock across several calls (other threads wait)."""
        has_lock = ctypes.c_uint16(0)
        vi = ctypes.c_uint32(self.vi)
        check(self.api, "ZR48_LockSession", library().ZR48_LockSession(vi, ctypes.byref(has_lock)))
        try:
            yield self
        finally:
            check(self.api, "ZR48_UnlockSession",
                  library().ZR48_UnlockSession(vi, ctypes.byref(has_lock)))

    def reset(self) -> None:
        """Sends "*RST" and forgets every cached attribute value."""
        self.api.ZR48_reset()

    def identify(self) -> str:
        """The instrument's identification ("*IDN?")."""
        return self.attributes.idn
