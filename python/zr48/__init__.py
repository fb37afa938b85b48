"""Python interface to the ZR48 seven-channel DC power supply, over its C driver (libzr48).

    import zr48
    with zr48.Session("TCPIP::127.0.0.1::5025::SOCKET", id_query=True) as psu:
        psu.channels["ch2"].voltage = 12.5
        psu.ch2.output = True
        print(psu.ch2.measure_voltage())

``session.api`` reaches every C function (``psu.api.ZR48_MeasVolt("ch2")``); ``zr48.api()`` does
so without a session. The C interface is described by zr48-api.json (``zr48.description()``).
"""
from ._api import Api, description, library
from .errors import (AttributeAccessError, ChannelError, ConnectionLost, Error, IdQueryFailed,
                     InstrumentStatusError, InvalidParameter, InvalidResourceName,
                     InvalidResponse, InvalidSession, InvalidValue, ResourceNotFound, Timeout,
                     Zr48Warning)
from .session import CHANNELS, Channel, Session, StatusRegisters

__all__ = [
    "Api", "AttributeAccessError", "CHANNELS", "Channel", "ChannelError", "ConnectionLost",
    "Error", "IdQueryFailed", "InstrumentStatusError", "InvalidParameter", "InvalidResourceName",
    "InvalidResponse", "InvalidSession", "InvalidValue", "ResourceNotFound", "Session",
    "StatusRegisters", "Timeout", "Zr48Warning", "api", "description", "library",
]


def api() -> Api:
    """Every C function, not bound to a session (pass the session handle yourself)."""
    return Api()
