"""PyVISA, Debian's python3-pyvisa, loads libzr48visa.so.1 and drives zr48-sim through it.

Run by ctest with ZR48_VISA_LIBRARY (the library) and ZR48_SIM (the simulator program) set.
"""
import os
import subprocess

import pytest
import pyvisa
from pyvisa import constants, errors

LIBRARY = os.environ["ZR48_VISA_LIBRARY"]
SIM = os.environ["ZR48_SIM"]
ADDRESS = "127.0.0.15"
IDN = "Velharn, HLV3907, 0123456789AF, 1.00-1.00"


@pytest.fixture(scope="module")
def port():
    sim = subprocess.Popen([SIM, "--port", "0", "--bind", ADDRESS], stdout=subprocess.PIPE, text=True)
    line = sim.stdout.readline()
    assert line.startswith("zr48-sim listening on"), line
    yield int(line.rsplit(":", 1)[1])
    sim.terminate()
    sim.wait()


@pytest.fixture
def rm():
    manager = pyvisa.ResourceManager(LIBRARY)
    yield manager
    manager.close()


@pytest.fixture
def inst(rm, port):
    resource = rm.open_resource(f"TCPIP::{ADDRESS}::{port}::SOCKET",
                                read_termination="\n", write_termination="\n")
    yield resource
    resource.close()


def test_the_library_is_ours(rm):
    assert rm.visalib.library_path.path == LIBRARY
    assert type(rm.visalib).__name__ == "IVIVisaLibrary"


def test_write_query_and_measure(inst):
    inst.write("*RST")
    inst.write("INST CH2;VOLT 2.5;CURR 1;OUTP ON")
    assert inst.query("*IDN?") == IDN
    assert float(inst.query("MEAS:VOLT? CH2")) == pytest.approx(2.5)
    assert inst.query("SYST:ERR?") == '0,"No error"'


def test_read_raw_keeps_the_line_feed(inst):
    inst.write("*IDN?")
    assert inst.read_raw() == (IDN + "\n").encode()


def test_timeout_is_kept_and_honoured(inst):
    inst.timeout = 150
    assert inst.timeout == 150
    inst.write("VOLT 1")  # no reply
    with pytest.raises(errors.VisaIOError) as failure:
        inst.read()
    assert failure.value.error_code == constants.StatusCode.error_timeout
    inst.timeout = 2000
    assert inst.query("*OPC?") == "1"


def test_terminations(inst):
    inst.write_termination = "\n"
    inst.read_termination = ","  # the reply to APPLY? is "volt,curr\n"
    inst.write("APPLY CH3,4.5,0.5")
    inst.write("APPLY? CH3")
    assert float(inst.read()) == pytest.approx(4.5)
    inst.read_termination = "\n"
    assert float(inst.read()) == pytest.approx(0.5)
    assert inst.get_visa_attribute(constants.VI_ATTR_TERMCHAR) == ord("\n")
    assert inst.get_visa_attribute(constants.VI_ATTR_TERMCHAR_EN) == constants.VI_TRUE


def test_status_byte_and_clear(inst):
    inst.write("*CLS;*ESE 1;*OPC")  # operation complete sets the event summary bit (5)
    assert inst.read_stb() & 0x20
    inst.write("*CLS")
    assert inst.read_stb() & 0x20 == 0
    inst.write("*IDN?")
    assert inst.query("*OPC?") in ("1", IDN)  # the earlier reply may or may not have come yet
    inst.clear()
    assert inst.query("*OPC?") == "1"


def test_list_resources_names_what_is_open(rm, inst, port):
    name = f"TCPIP0::{ADDRESS}::{port}::SOCKET"
    assert rm.list_resources("?*") == (name,)
    assert rm.list_resources("TCPIP?*SOCKET") == (name,)
    assert rm.list_resources("?*::INSTR") == ()
    info = rm.resource_info(f"tcpip::{ADDRESS}::{port}::socket")
    assert (info.interface_type, info.interface_board_number) == (constants.InterfaceType.tcpip, 0)
    assert (info.resource_class, info.resource_name) == ("SOCKET", name)


def test_close_ends_the_session(rm, port):
    inst = rm.open_resource(f"TCPIP::{ADDRESS}::{port}::SOCKET")
    session = inst.session
    inst.close()
    with pytest.raises(errors.VisaIOError) as failure:
        rm.visalib.read(session, 10)
    assert failure.value.error_code == constants.StatusCode.error_invalid_object


def test_socket_sessions_share_a_lock_by_its_key(rm, inst):
    other = rm.open_resource(inst.resource_name, read_termination="\n", write_termination="\n")
    try:
        key = inst.lock()
        with pytest.raises(errors.VisaIOError) as failure:
            other.query("*IDN?")
        assert failure.value.error_code == constants.StatusCode.error_resource_locked
        with other.lock_context(requested_key=key) as joined:
            assert joined == key
            assert other.query("*IDN?") == IDN
        inst.unlock()
        assert other.query("*IDN?") == IDN
    finally:
        other.close()


def test_unserved_operations_say_so(inst):
    # A raw socket has no service requests.
    with pytest.raises(errors.VisaIOError) as failure:
        inst.enable_event(constants.EventType.service_request, constants.EventMechanism.queue)
    assert failure.value.error_code == constants.StatusCode.error_invalid_event


def test_asynchronous_write_and_read_complete_as_events(inst):
    inst.enable_event(constants.EventType.io_completion, constants.EventMechanism.queue)
    write_job, _ = inst.visalib.write_asynchronously(inst.session, b"*IDN?\n")
    buffer, read_job, _ = inst.visalib.read_asynchronously(inst.session, 64)
    assert write_job != read_job
    for _ in range(2):
        response = inst.wait_on_event(constants.EventType.io_completion, 5000)
        assert response.event.event_type == constants.EventType.io_completion
        del response
    assert bytes(buffer.raw).startswith(IDN.encode())
    inst.disable_event(constants.EventType.io_completion, constants.EventMechanism.queue)


@pytest.mark.parametrize("name", ["inst0::INSTR", "hislip0::INSTR"], ids=["vxi11", "hislip"])
def test_lan_instruments_through_the_same_library(rm, port, name):
    inst = rm.open_resource(f"TCPIP::{ADDRESS}::{name}", read_termination="\n")
    try:
        assert inst.query("*IDN?") == IDN
        inst.enable_event(constants.EventType.service_request, constants.EventMechanism.queue)
        inst.write("*CLS")  # the summary bit falls, so that it can rise again
        inst.write("*SRE 32;*ESE 1;*OPC")  # ESB raises a service request
        response = inst.wait_on_event(constants.EventType.service_request, 5000)
        assert response.event.event_type == constants.EventType.service_request
        del response
        assert inst.read_stb() & 0x60
        inst.clear()
        assert inst.query("*OPC?") == "1"
    finally:
        inst.close()
