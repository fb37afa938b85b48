"""Exceptions and warnings raised for the driver's status codes.

A negative status raises an :class:`Error` subclass chosen by its code; a positive status (a
warning) goes to :func:`warnings.warn` as a :class:`Zr48Warning`. The codes are those of the
VISA and IVI standards.
"""
from __future__ import annotations


class Error(Exception):
    """A driver call failed.

    ``code`` is the negative status, ``message`` the driver's text for it
    (``ZR48_error_message``), ``elaboration`` what ``ZR48_GetError`` recorded about this failure
    and ``function`` the C function that returned it.
    """

    def __init__(self, code: int, message: str = "", elaboration: str = "",
                 function: str = "") -> None:
        self.code = code
        self.message = message
        self.elaboration = elaboration
        self.function = function
        text = f"{function}: " if function else ""
        text += f"{message or 'error'} (0x{code & 0xFFFFFFFF:08X})"
        detail = self.detail
        if detail:
            text += f": {detail}"
        super().__init__(text)

    @property
    def detail(self) -> str:
        """The elaboration's own part ("Elaboration: ..."), without the repeated message."""
        _, found, detail = self.elaboration.partition("Elaboration:")
        return detail.strip() if found else ""


class Timeout(Error, TimeoutError):
    """The instrument did not answer in time (VI_ERROR_TMO)."""


class ConnectionLost(Error, ConnectionError):
    """The link to the instrument broke (VI_ERROR_CONN_LOST, VI_ERROR_IO)."""


class ResourceNotFound(Error, ConnectionError):
    """Nothing answers at the resource (VI_ERROR_RSRC_NFOUND)."""


class InvalidResourceName(Error, ValueError):
    """The resource name is malformed (VI_ERROR_INV_RSRC_NAME)."""


class InvalidParameter(Error, ValueError):
    """An argument was refused before anything was sent."""


class InvalidValue(Error, ValueError):
    """A value is outside the attribute's range or not one of its choices."""


class InvalidSession(Error):
    """The session handle is not (or no longer) open."""


class ChannelError(Error, LookupError):
    """A channel name is unknown, missing or not allowed for this attribute."""


class AttributeAccessError(Error, AttributeError):
    """The attribute is unknown, not readable or not writable."""


class InstrumentStatusError(Error):
    """The instrument reports an error in its queue (see Session.errors())."""


class IdQueryFailed(Error):
    """The instrument did not identify itself as a supported model."""


class InvalidResponse(Error):
    """The instrument's reply could not be understood."""


class Zr48Warning(UserWarning):
    """A driver call succeeded with a warning."""

    def __init__(self, code: int, message: str = "", function: str = "") -> None:
        self.code = code
        self.message = message
        self.function = function
        super().__init__(f"{function}: {message or 'warning'} (0x{code:08X})")


def _signed(code: int) -> int:
    return code - (1 << 32) if code >= 1 << 31 else code


_CLASSES: dict[int, type[Error]] = {
    _signed(0xBFFF0015): Timeout,
    _signed(0xBFFF00A6): ConnectionLost,
    _signed(0xBFFF003E): ConnectionLost,
    _signed(0xBFFF0011): ResourceNotFound,
    _signed(0xBFFF0012): InvalidResourceName,
    _signed(0xBFFA000F): InvalidParameter,
    _signed(0xBFFA0058): InvalidParameter,
    **{_signed(0xBFFC0000 + n): InvalidParameter for n in range(1, 9)},
    _signed(0xBFFA0010): InvalidValue,
    _signed(0xBFFA0013): InvalidValue,
    _signed(0xBFFA1190): InvalidSession,
    _signed(0xBFFF000E): InvalidSession,
    _signed(0xBFFA0020): ChannelError,
    _signed(0xBFFA0044): ChannelError,
    _signed(0xBFFA0045): ChannelError,
    _signed(0xBFFA0054): ChannelError,
    _signed(0xBFFA000C): AttributeAccessError,
    _signed(0xBFFA000D): AttributeAccessError,
    _signed(0xBFFA000E): AttributeAccessError,
    _signed(0xBFFA0012): AttributeAccessError,
    _signed(0xBFFA0001): InstrumentStatusError,
    _signed(0xBFFC0011): IdQueryFailed,
    _signed(0xBFFC0012): InvalidResponse,
    _signed(0xBFFA0059): InvalidResponse,
}


def error_class(code: int) -> type[Error]:
    """The exception class raised for a negative status code."""
    return _CLASSES.get(_signed(code), Error)
