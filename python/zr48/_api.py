"""The C interface, bound through ctypes from its machine-readable description (zr48-api.json).

Every function of libzr48 becomes a Python callable taking its input parameters in prototype
order (the session handle filled in when bound to a session) and returning its outputs: text
buffers come back as ``str``, sized as the description says, scalars as numbers or booleans.
"""
from __future__ import annotations

import ctypes
import json
import os
import warnings
from functools import lru_cache
from pathlib import Path
from typing import Any, Callable

from .errors import Error, Zr48Warning, error_class

_HERE = Path(__file__).resolve().parent
_SONAME = "libzr48.so.1"
_JSON = "zr48-api.json"

_SCALARS: dict[str, Any] = {
    "int16": ctypes.c_int16, "uint16": ctypes.c_uint16, "int32": ctypes.c_int32,
    "uint32": ctypes.c_uint32, "int64": ctypes.c_int64, "uint64": ctypes.c_uint64,
    "float32": ctypes.c_float, "float64": ctypes.c_double,
}
_SIZED_BUFFER_START = 4096  # grown to the required size if the text is longer


def _ctype(abi: str) -> Any:
    if abi.endswith("char*"):
        return ctypes.c_char_p
    if abi.endswith("*"):
        return ctypes.POINTER(_SCALARS[abi[:-1]])
    return _SCALARS[abi]


def _find(env: str, name: str, system: list[Path]) -> str | None:
    chosen = os.environ.get(env)
    if chosen:
        return chosen
    for candidate in [_HERE / name, *system]:
        if candidate.exists():
            return str(candidate)
    return None


@lru_cache(maxsize=None)
def description() -> dict[str, Any]:
    """The parsed zr48-api.json: $ZR48_API_JSON, next to this package, or the installed copy."""
    shares = [Path(prefix) / "share/zr48" / _JSON for prefix in ("/usr/local", "/usr")]
    path = _find("ZR48_API_JSON", _JSON, shares)
    if path is None:
        raise FileNotFoundError(f"{_JSON} not found: set ZR48_API_JSON or install the zr48 "
                                "development files")
    with open(path, encoding="utf-8") as file:
        return json.load(file)


@lru_cache(maxsize=None)
def library() -> ctypes.CDLL:
    """libzr48: $ZR48_LIBRARY, next to this package, or through the system loader."""
    path = _find("ZR48_LIBRARY", _SONAME, [])
    return ctypes.CDLL(path or _SONAME)


def _text(value: Any) -> bytes | None:
    if value is None:
        return None
    if isinstance(value, bytes):
        return value
    if isinstance(value, bool):
        return b"ON" if value else b"OFF"
    return str(value).encode()


def _decode(buffer: Any) -> str:
    return buffer.value.decode(errors="replace")


# VISA completion codes: success with a note (a read ended on the termination character, ...),
# not a warning.
_COMPLETIONS = {0x3FFF0002, 0x3FFF0003, 0x3FFF0004, 0x3FFF0005, 0x3FFF0006, 0x3FFF007D,
                0x3FFF007E, 0x3FFF0080, 0x3FFF0098, 0x3FFF0099, 0x3FFF009A, 0x3FFF009B}


def check(api: "Api", function: str, status: int) -> int:
    """Raises for a negative status, warns for a positive one, returns it otherwise."""
    if status < 0:
        raise api.error(status, function)
    if status > 0 and status not in _COMPLETIONS:
        warnings.warn(Zr48Warning(status, api.message(status), function), stacklevel=3)
    return status


class _Function:
    """One C function, called with Python values."""

    def __init__(self, api: "Api", spec: dict[str, Any]) -> None:
        self.api = api
        self.spec = spec
        self.name: str = spec["name"]
        self.c_function = getattr(library(), self.name)
        self.c_function.argtypes = [_ctype(p["abi"]) for p in spec["parameters"]]
        self.c_function.restype = ctypes.c_int32
        params = spec["parameters"]
        self.sizes = {p["buffer"]["size_parameter"]: p["name"] for p in params
                      if p.get("buffer", {}).get("rule") == "ivi"}
        self.counts = {p["buffer"]["size_parameter"] for p in params
                       if p.get("buffer", {}).get("rule") == "count"}
        self.inputs = [p for p in params if self._is_input(p)]
        self.size_returned = bool(self.sizes)
        inputs = ", ".join(p["name"] for p in self.inputs)
        outputs = ", ".join(p["name"] for p in params if p["direction"] != "in")
        self.__doc__ = f"{self.name}({inputs}) -> {outputs or 'None'}\n\n{spec['doc']}"

    def _is_input(self, parameter: dict[str, Any]) -> bool:
        if parameter["kind"] in ("session", "session_or_null") and self.api.vi is not None:
            return False
        if parameter["name"] in self.sizes:
            return False
        return parameter["direction"] in ("in", "inout")

    def __call__(self, *args: Any, **kwargs: Any) -> Any:
        values = dict(zip((p["name"] for p in self.inputs), args))
        if len(args) > len(self.inputs):
            raise TypeError(f"{self.name} takes {len(self.inputs)} arguments")
        values.update(kwargs)
        size = _SIZED_BUFFER_START
        while True:
            arguments, outputs = self._build(values, size)
            status = self.c_function(*arguments)
            if status > 0 and self.size_returned and status > size:
                size = status  # the text did not fit: the required size came back
                continue
            if not (self.size_returned and status > 0):
                check(self.api, self.name, status)
            break
        results = [convert() for convert in outputs]
        if not results:
            return None
        return results[0] if len(results) == 1 else tuple(results)

    def _build(self, values: dict[str, Any], size: int) -> tuple[list[Any], list[Callable[[], Any]]]:
        arguments: list[Any] = []
        outputs: list[Callable[[], Any]] = []
        counted: Any = None
        for p in self.spec["parameters"]:
            name, kind, abi = p["name"], p["kind"], p["abi"]
            if kind in ("session", "session_or_null") and self.api.vi is not None:
                arguments.append(self.api.vi)
            elif name in self.sizes:
                arguments.append(size)
            elif p["direction"] == "inout":
                cell = _SCALARS[abi[:-1]](int(bool(values.get(name, False))))
                arguments.append(ctypes.byref(cell))
                outputs.append(lambda c=cell: bool(c.value))
            elif p["direction"] == "in":
                if name not in values:
                    if p["nullable"] or kind == "repcap":
                        values[name] = None if p["nullable"] else ""
                    else:
                        raise TypeError(f"{self.name}: missing argument {name!r}")
                value = values[name]
                if abi.endswith("char*"):
                    arguments.append(_text(value))
                elif kind == "attribute":
                    arguments.append(self.api.attribute_id(value))
                else:
                    arguments.append(value)
            elif "buffer" in p:
                rule = p["buffer"]
                length = (size if rule["rule"] == "ivi" else
                          int(values[rule["size_parameter"]]) if rule["rule"] == "count" else
                          rule["size"])
                buffer = ctypes.create_string_buffer(max(length, 1))
                arguments.append(buffer)
                if rule["rule"] == "count":
                    counted = buffer  # raw bytes; their number comes in the count output
                else:
                    outputs.append(lambda b=buffer: _decode(b))
            else:
                cell = _SCALARS[abi[:-1]]()
                arguments.append(ctypes.byref(cell))
                if self.counts and kind == "out":
                    outputs.append(lambda c=cell, b=counted: b.raw[:c.value])
                    continue
                boolean = p["type"].startswith("ViBoolean")
                outputs.append(lambda c=cell, b=boolean: bool(c.value) if b else c.value)
        return arguments, outputs


class Api:
    """Every C function as a method; bound to a session handle (``vi``) or not."""

    def __init__(self, vi: int | None = None) -> None:
        self.vi = vi
        self._spec = description()
        self._functions = {f["name"]: f for f in self._spec["functions"]}
        self._attributes = {a["name"]: a for a in self._spec["attributes"]}
        self._bound: dict[str, _Function] = {}

    def __getattr__(self, name: str) -> _Function:
        if name not in self._functions:
            raise AttributeError(f"libzr48 has no function {name}")
        bound = self._bound.get(name)
        if bound is None:
            bound = self._bound[name] = _Function(self, self._functions[name])
        return bound

    def __dir__(self) -> list[str]:
        return [*super().__dir__(), *self._functions]

    def attribute_id(self, attribute: int | str) -> int:
        """An attribute's identifier from its identifier, constant or property name."""
        if isinstance(attribute, int):
            return attribute
        name = attribute if attribute.startswith("ZR48_ATTR_") else "ZR48_ATTR_" + attribute.upper()
        if name not in self._attributes:
            raise AttributeError(f"no attribute {attribute!r}")
        return int(self._attributes[name]["id"])

    def message(self, status: int) -> str:
        """ZR48_error_message's text for a status code."""
        buffer = ctypes.create_string_buffer(256)
        library().ZR48_error_message(ctypes.c_uint32(self.vi or 0), ctypes.c_int32(status), buffer)
        return _decode(buffer)

    def error(self, status: int, function: str) -> Error:
        """The exception for a failed call, with the recorded elaboration (read and cleared)."""
        message = self.message(status)
        code = ctypes.c_int32(0)
        buffer = ctypes.create_string_buffer(_SIZED_BUFFER_START)
        elaboration = ""
        if library().ZR48_GetError(ctypes.c_uint32(self.vi or 0), ctypes.byref(code),
                                   len(buffer), buffer) >= 0:
            elaboration = _decode(buffer)
        return error_class(status)(status, message, elaboration, function)
