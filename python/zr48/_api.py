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
    if type(value) is str:  # noqa: E721  (the common case first)
        return value.encode()
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


def _function_source(spec: dict[str, Any], bound: bool) -> str:
    """Python source of one wrapper: its parameters are the C function's inputs, by name, and it
    returns the outputs. Generated once per function, so a call costs little more than ctypes."""
    params = spec["parameters"]
    sized = {p["buffer"]["size_parameter"] for p in params if p.get("buffer", {}).get("rule") == "ivi"}
    signature: list[tuple[str, str | None]] = []  # (name, default), in prototype order
    before: list[str] = []   # statements before the call
    arguments: list[str] = []
    outputs: list[str] = []
    counted = ""
    for p in params:
        name, kind, abi = p["name"], p["kind"], p["abi"]
        if kind in ("session", "session_or_null") and bound:
            arguments.append("_vi")
        elif name in sized:
            arguments.append("_size")
        elif p["direction"] == "inout":  # a lock flag: passed in and handed back
            signature.append((name, "False"))
            before.append(f"_{name} = _scalars[{abi[:-1]!r}](1 if {name} else 0)")
            arguments.append(f"_byref(_{name})")
            outputs.append(f"bool(_{name}.value)")
        elif p["direction"] == "in":
            default = "None" if p["nullable"] else "''" if kind == "repcap" else None
            signature.append((name, default))
            if abi.endswith("char*"):
                arguments.append(f"_text({name})")
            elif kind == "attribute":
                arguments.append(f"_attribute({name})")
            else:
                arguments.append(name)
        elif "buffer" in p:
            rule = p["buffer"]
            size = {"ivi": "_size", "count": f"max(int({rule.get('size_parameter')}), 1)"}.get(
                rule["rule"], str(rule.get("size")))
            before.append(f"_{name} = _buffer({size})")
            arguments.append(f"_{name}")
            if rule["rule"] == "count":
                counted = f"_{name}"  # raw bytes; how many comes in the count output
            else:
                outputs.append(f"_{name}.value.decode(errors='replace')")
        else:
            before.append(f"_{name} = _scalars[{abi[:-1]!r}]()")
            arguments.append(f"_byref(_{name})")
            if counted and kind == "out":
                outputs.append(f"{counted}.raw[:_{name}.value]")
            elif p["type"].startswith("ViBoolean"):
                outputs.append(f"bool(_{name}.value)")
            else:
                outputs.append(f"_{name}.value")
    call = f"_status = _c({', '.join(arguments)})"
    body: list[str] = []
    if sized:
        # The IVI rule: a positive status is the size the text needed; ask again with it.
        body += ["_size = _START", "while True:"]
        body += ["    " + line for line in before + [call]]
        body += ["    if _status <= _size:", "        break", "    _size = _status",
                 "if _status < 0:", f"    _check(_api, {spec['name']!r}, _status)"]
    else:
        body += before + [call, "if _status:", f"    _check(_api, {spec['name']!r}, _status)"]
    if not outputs:
        body.append("return None")
    elif len(outputs) == 1:
        body.append(f"return {outputs[0]}")
    else:
        body.append(f"return ({', '.join(outputs)},)")
    # Defaults only where every later parameter has one too, so positions stay those of C.
    required = [i for i, (_, default) in enumerate(signature) if default is None]
    first_default = required[-1] + 1 if required else 0
    names = [name if i < first_default else f"{name}={default}"
             for i, (name, default) in enumerate(signature)]
    lines = [f"def {spec['name']}({', '.join(names)}):"]
    lines += ["    " + line for line in body]
    return "\n".join(lines) + "\n"


def _bind(api: "Api", spec: dict[str, Any]) -> Callable[..., Any]:
    c_function = getattr(library(), spec["name"])
    c_function.argtypes = [_ctype(p["abi"]) for p in spec["parameters"]]
    c_function.restype = ctypes.c_int32
    scope: dict[str, Any] = {
        "_c": c_function, "_vi": api.vi, "_api": api, "_check": check, "_text": _text,
        "_attribute": api.attribute_id, "_buffer": ctypes.create_string_buffer,
        "_byref": ctypes.byref, "_scalars": _SCALARS, "_START": _SIZED_BUFFER_START,
    }
    exec(_function_source(spec, api.vi is not None), scope)  # noqa: S102  (our own source)
    function = scope[spec["name"]]
    function.__doc__ = spec["doc"]
    return function


class Api:
    """Every C function as a method; bound to a session handle (``vi``) or not."""

    def __init__(self, vi: int | None = None) -> None:
        self.vi = vi
        self._spec = description()
        self._functions = {f["name"]: f for f in self._spec["functions"]}
        self._attributes = {a["name"]: a for a in self._spec["attributes"]}

    def __getattr__(self, name: str) -> Callable[..., Any]:
        if name.startswith("_") or name not in self.__dict__.get("_functions", {}):
            raise AttributeError(f"libzr48 has no function {name}")
        function = _bind(self, self._functions[name])
        setattr(self, name, function)  # found directly from now on
        return function

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
