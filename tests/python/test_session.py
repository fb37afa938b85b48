"""The Pythonic layer against the simulated supply: what it sends and what it hands back."""
import threading
import warnings

import pytest

import zr48
from zr48._api import check


def test_a_session_identifies_and_closes_once(simulator):
    with zr48.Session(simulator, id_query=True) as psu:
        assert psu.identify().startswith("Velharn, HLV3907")
        assert psu.instrument_model.strip() == "HLV3907"
    psu.close()  # again: nothing happens
    with pytest.raises(zr48.InvalidSession):
        psu.api.ZR48_reset()


def test_a_simulated_session_needs_no_instrument():
    with zr48.Session("TCPIP::127.0.0.16::1::SOCKET", options="Simulate=1") as psu:
        assert psu.simulate is True
        psu.ch1.voltage = 3.0  # nothing is sent


CHANNEL_ACTIONS = [
    ("voltage", lambda ch: setattr(ch, "voltage", 12.5), "INST ch2\nVOLT 12.5\n"),
    ("current", lambda ch: setattr(ch, "current", 0.25), "INST ch2\nCURR 0.25\n"),
    ("ovp", lambda ch: setattr(ch, "ovp", 14), "INST ch2\nVOLT:PROT 14\n"),
    ("output_on", lambda ch: setattr(ch, "output", True), "INST ch2\nOUTP ON\n"),
    ("output_off", lambda ch: setattr(ch, "output", False), "INST ch2\nOUTP OFF\n"),
    ("clear_protection", lambda ch: ch.clear_protection(), "INST ch2\nVOLT:PROT:CLE\n"),
    ("measure_voltage", lambda ch: ch.measure_voltage(), "INST ch2\nMEAS:VOLT?\n"),
    ("measure_current", lambda ch: ch.measure_current(), "INST ch2\nMEAS:CURR?\n"),
    ("measure_power", lambda ch: ch.measure_power(), "INST ch2\nMEAS:POW?\n"),
    ("ovp_tripped", lambda ch: ch.ovp_tripped, "INST ch2\nVOLT:PROT:TRIP?\n"),
    ("outp_tim_attribute", lambda ch: setattr(ch, "outp_tim", "ON"), "INST ch2\nOUTP:TIM ON\n"),
]


@pytest.mark.parametrize("action,expected", [a[1:] for a in CHANNEL_ACTIONS],
                         ids=[a[0] for a in CHANNEL_ACTIONS])
def test_channel_operations_send_their_commands(psu, wire, action, expected):
    action(psu.channels["ch2"])
    assert wire.writes() == [expected]
    assert psu.errors() == []


def test_levels_and_measurements_come_back_as_numbers(psu):
    ch = psu.ch3
    ch.voltage, ch.current, ch.ovp = 5.5, 2.0, 7.0
    assert (ch.voltage, ch.current, ch.ovp) == (5.5, 2.0, 7.0)
    ch.output = True
    assert ch.output is True
    assert ch.measure_voltage() == pytest.approx(5.5)
    assert ch.measure_power() == pytest.approx(ch.measure_voltage() * ch.measure_current())
    assert ch.ovp_tripped is False


def test_the_low_level_functions_take_and_return_python_types(psu):
    api = psu.api
    assert api.ZR48_GetChannelName(7) == "ch7"  # an IVI-rule buffer
    driver, firmware = api.ZR48_revision_query()
    assert driver.startswith("Driver: ZR48") and firmware.strip() == "1.00-1.00"
    assert api.ZR48_self_test() == (0, "")
    assert api.ZR48_error_query() == (0, '0,"No error"\n')
    api.ZR48_WriteInstrData("*IDN?\n")
    assert api.ZR48_ReadInstrData(256).startswith(b"Velharn")
    assert api.ZR48_MeasVolt(channel_name="ch1").startswith("+")
    assert api.ZR48_GetAttributeViInt32("", zr48.description()["attributes"][7]["id"]) == 7
    assert "ZR48_MeasVolt(reChar" not in api.ZR48_MeasVolt.__doc__
    assert "MEAS:VOLT?" in api.ZR48_MeasVolt.__doc__


def test_attributes_are_properties_named_after_their_constants(psu):
    assert psu.cache is True and psu.channel_count == 7
    psu.ch4.voltage_level = 3.5
    assert psu.ch4.voltage_level == 3.5 and psu.ch5.voltage_level == 0.0
    assert "stat_oper_cond" in dir(psu) and "outp_tim" in dir(psu.ch1)
    with pytest.raises(AttributeError):
        psu.ch1.no_such_attribute = 1
    with pytest.raises(zr48.AttributeAccessError):
        psu.instrument_model = "other"


ERRORS = [
    ("out_of_range", lambda psu: setattr(psu.ch1, "voltage_level", 300.0), zr48.InvalidValue,
     "Invalid value 300 for attribute ZR48_ATTR_VOLTAGE_LEVEL"),
    ("unknown_channel", lambda psu: psu.api.ZR48_GetAttributeViString("ch9", "outp"),
     zr48.ChannelError, "Unknown channel name 'ch9'"),
    ("channel_required", lambda psu: psu.api.ZR48_SetAttributeViString("", "outp", "ON"),
     zr48.ChannelError, "needs a channel name"),
    ("null_text", lambda psu: psu.api.ZR48_SetVoltage(None, "ch1"), zr48.InvalidParameter,
     "Null address for Input String"),
]


@pytest.mark.parametrize("call,error,detail", [e[1:] for e in ERRORS], ids=[e[0] for e in ERRORS])
def test_a_failed_call_raises_its_error_class_with_the_recorded_detail(psu, call, error, detail):
    with pytest.raises(error) as raised:
        call(psu)
    assert raised.value.code < 0
    assert raised.value.message == psu.api.message(raised.value.code)
    assert detail in raised.value.elaboration and detail in str(raised.value)
    assert psu.api.ZR48_GetError() == (0, "")  # taken by the exception


@pytest.mark.parametrize("resource,error", [
    ("TCPIP::127.0.0.16::1::SOCKET", zr48.ResourceNotFound),
    ("TCPIP::127.0.0.16::SOCKET", zr48.InvalidResourceName),
], ids=["nothing_listens", "malformed"])
def test_opening_fails_with_a_connection_or_name_error(resource, error):
    with pytest.raises(error):
        zr48.Session(resource)


def test_a_warning_goes_to_warnings_and_a_completion_code_does_not(psu):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        check(psu.api, "ZR48_Example", 0x3FFF0085)  # VI_WARN_UNKNOWN_STATUS
        check(psu.api, "ZR48_Example", 0x3FFF0005)  # VI_SUCCESS_TERM_CHAR
    assert [w.category for w in caught] == [zr48.Zr48Warning]
    assert caught[0].message.code == 0x3FFF0085


def test_errors_drains_the_instrument_queue(psu):
    psu.scpi("NO:SUCH:HEADER")
    psu.scpi("VOLT 999")
    assert [code for code, _ in psu.errors()] == [-113, -222]
    assert psu.errors() == []


def test_status_registers(psu):
    psu.scpi("NO:SUCH:HEADER")
    status = psu.status()
    assert status.event_status & 0x20  # command error
    assert psu.status().event_status == 0  # reading the event register cleared it
    assert psu.errors()[0][0] == -113


def test_the_lock_holds_across_calls_and_is_released_on_error(psu):
    with psu.lock():
        with psu.lock():  # nestable
            psu.ch1.voltage = 1.0
    with pytest.raises(RuntimeError), psu.lock():
        raise RuntimeError("inside")
    done = threading.Event()
    worker = threading.Thread(target=lambda: (psu.ch1.measure_voltage(), done.set()))
    worker.start()
    worker.join(timeout=30)
    assert done.is_set()  # the lock was free again


def test_text_longer_than_the_first_buffer_comes_back_whole():
    # An IVI-rule buffer starts at 4096 bytes and is asked again with the size the driver returns.
    with zr48.Session("TCPIP::127.0.0.16::1::SOCKET", options="Simulate=1") as psu:
        text = "".join(chr(ord("a") + i % 26) for i in range(6000))
        psu.ch1.outp_tim_data = text
        assert psu.ch1.outp_tim_data == text
        assert psu.api.ZR48_GetAttributeViString(attributeId="outp_tim_data",
                                                 channelName="ch1") == text


def test_the_unbound_interface_takes_the_session_handle_first(psu):
    assert zr48.api().ZR48_GetChannelName(psu.vi, 3) == "ch3"
    assert zr48.api().ZR48_error_message(0, 0).strip() != ""
    with pytest.raises(TypeError):
        psu.api.ZR48_SetVoltage("1.0")  # channel_name missing
