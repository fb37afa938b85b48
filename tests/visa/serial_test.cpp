// Serial sessions on the simulator's pseudo-terminal: line settings as the terminal holds them,
// VISA's ASRL defaults, END on input and output, exclusive opening, the port-name rule, and one
// row per fault with what the session reports and whether it is usable afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "scoped_environment.h"
#include "session_io.h"
#include "test_names.h"
#include "visa/resource_name.h"
#include "visa/transports/serial/serial.h"
#include "visa/transports/serial/tty_control.h"
#include "visa/visa.h"
#include "zr48sim/server.h"

namespace zr48::visa {
namespace {

using testing::read_text;
using testing::write_text;

class SerialSession : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::ServerOptions options;
    options.socket = false;
    options.serial = true;
    server_ = std::make_unique<sim::Server>(options);
    resource_ = server_->serial_resource();
    ASSERT_EQ(viOpenDefaultRM(&rm_), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm_, resource_.c_str(), VI_NO_LOCK, 2000, &vi_), VI_SUCCESS) << resource_;
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 1000), VI_SUCCESS);
  }
  void TearDown() override {
    if (rm_ != VI_NULL) viClose(rm_);
  }
  std::string path() const { return resource_.substr(4, resource_.size() - 11); }

  // The line as the terminal holds it, read through a second descriptor.
  tty::LineSettings line() const {
    tty::LineSettings settings;
    const int fd = ::open(path().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(tty::read_back(fd, settings), 0);
    ::close(fd);
    return settings;
  }
  ViStatus write(std::string_view text) { return write_text(vi_, text); }
  std::string read(ViStatus& status, ViUInt32 count = 256) { return read_text(vi_, status, count); }

  std::unique_ptr<sim::Server> server_;
  std::string resource_;
  ViSession rm_ = VI_NULL;
  ViSession vi_ = VI_NULL;
};

TEST_F(SerialSession, OpensWithVisaDefaults) {
  const struct {
    ViAttr attribute;
    unsigned width;
    long long value;
  } kDefaults[] = {
      {VI_ATTR_ASRL_BAUD, 4, 9600},
      {VI_ATTR_ASRL_DATA_BITS, 2, 8},
      {VI_ATTR_ASRL_PARITY, 2, VI_ASRL_PAR_NONE},
      {VI_ATTR_ASRL_STOP_BITS, 2, VI_ASRL_STOP_ONE},
      {VI_ATTR_ASRL_FLOW_CNTRL, 2, VI_ASRL_FLOW_NONE},
      {VI_ATTR_ASRL_END_IN, 2, VI_ASRL_END_TERMCHAR},
      {VI_ATTR_ASRL_END_OUT, 2, VI_ASRL_END_NONE},
      {VI_ATTR_ASRL_XON_CHAR, 1, 0x11},
      {VI_ATTR_ASRL_XOFF_CHAR, 1, 0x13},
      {VI_ATTR_ASRL_BREAK_LEN, 2, 250},
      {VI_ATTR_ASRL_BREAK_STATE, 2, VI_STATE_UNASSERTED},
      {VI_ATTR_ASRL_DISCARD_NULL, 2, VI_FALSE},
      {VI_ATTR_ASRL_AVAIL_NUM, 4, 0},
      {VI_ATTR_ASRL_CTS_STATE, 2, VI_STATE_UNKNOWN},  // a pseudo-terminal has no modem lines
      {VI_ATTR_TERMCHAR, 1, '\n'},
      {VI_ATTR_TERMCHAR_EN, 2, VI_FALSE},
      {VI_ATTR_SEND_END_EN, 2, VI_TRUE},
      {VI_ATTR_INTF_TYPE, 2, VI_INTF_ASRL},
  };
  for (const auto& row : kDefaults) {
    long long value = 0;
    ASSERT_EQ(viGetAttribute(vi_, row.attribute, &value), VI_SUCCESS) << std::hex << row.attribute;
    const long long bits = row.width == 1 ? 8 : row.width * 8;
    long long got = value & ((1LL << bits) - 1);
    if (row.value < 0) got -= 1LL << bits;  // signed 16-bit states
    EXPECT_EQ(got, row.value) << std::hex << row.attribute;
  }
  const tty::LineSettings held = line();
  EXPECT_EQ(held.baud, 9600U);
  EXPECT_EQ(held.data_bits, 8U);
  EXPECT_EQ(held.parity, tty::Parity::kNone);
  EXPECT_FALSE(held.two_stop_bits || held.xon_xoff || held.rts_cts);
}

// A pseudo-terminal always keeps eight data bits without parity, whatever is asked.
bool pty_keeps_8n1(const tty::LineSettings& l) {
  return l.data_bits == 8 && l.parity == tty::Parity::kNone;
}
constexpr auto kPtyKeeps8N1 = &pty_keeps_8n1;

TEST_F(SerialSession, LineSettingsReachTheTerminal) {
  const struct Row {
    const char* name;
    ViAttr attribute;
    ViAttrState value;
    ViStatus status;
    bool (*held)(const tty::LineSettings&);
  } kRows[] = {
      {"standard baud", VI_ATTR_ASRL_BAUD, 115200, VI_SUCCESS,
       [](const tty::LineSettings& l) { return l.baud == 115200; }},
      {"unusual baud", VI_ATTR_ASRL_BAUD, 250000, VI_SUCCESS,
       [](const tty::LineSettings& l) { return l.baud == 250000; }},
      {"baud 0", VI_ATTR_ASRL_BAUD, 0, VI_ERROR_NSUP_ATTR_STATE, nullptr},
      {"7 data bits", VI_ATTR_ASRL_DATA_BITS, 7, VI_SUCCESS, kPtyKeeps8N1},
      {"4 data bits", VI_ATTR_ASRL_DATA_BITS, 4, VI_ERROR_NSUP_ATTR_STATE, nullptr},
      {"9 data bits", VI_ATTR_ASRL_DATA_BITS, 9, VI_ERROR_NSUP_ATTR_STATE, nullptr},
      {"odd", VI_ATTR_ASRL_PARITY, VI_ASRL_PAR_ODD, VI_SUCCESS, kPtyKeeps8N1},
      {"even", VI_ATTR_ASRL_PARITY, VI_ASRL_PAR_EVEN, VI_SUCCESS, kPtyKeeps8N1},
      {"mark", VI_ATTR_ASRL_PARITY, VI_ASRL_PAR_MARK, VI_SUCCESS, kPtyKeeps8N1},
      {"space", VI_ATTR_ASRL_PARITY, VI_ASRL_PAR_SPACE, VI_SUCCESS, kPtyKeeps8N1},
      {"parity 5", VI_ATTR_ASRL_PARITY, 5, VI_ERROR_NSUP_ATTR_STATE, nullptr},
      {"two stop bits", VI_ATTR_ASRL_STOP_BITS, VI_ASRL_STOP_TWO, VI_SUCCESS,
       [](const tty::LineSettings& l) { return l.two_stop_bits; }},
      {"1.5 stop bits need 5 data bits", VI_ATTR_ASRL_STOP_BITS, VI_ASRL_STOP_ONE5,
       VI_ERROR_NSUP_ATTR_STATE, nullptr},
      {"XON/XOFF", VI_ATTR_ASRL_FLOW_CNTRL, VI_ASRL_FLOW_XON_XOFF, VI_SUCCESS,
       [](const tty::LineSettings& l) { return l.xon_xoff && !l.rts_cts; }},
      {"RTS/CTS", VI_ATTR_ASRL_FLOW_CNTRL, VI_ASRL_FLOW_RTS_CTS, VI_SUCCESS,
       [](const tty::LineSettings& l) { return l.rts_cts && !l.xon_xoff; }},
      {"both", VI_ATTR_ASRL_FLOW_CNTRL, VI_ASRL_FLOW_XON_XOFF | VI_ASRL_FLOW_RTS_CTS, VI_SUCCESS,
       [](const tty::LineSettings& l) { return l.rts_cts && l.xon_xoff; }},
      {"DTR/DSR has no Linux setting", VI_ATTR_ASRL_FLOW_CNTRL, VI_ASRL_FLOW_DTR_DSR,
       VI_ERROR_NSUP_ATTR_STATE, nullptr},
      {"XON character", VI_ATTR_ASRL_XON_CHAR, 0x01, VI_SUCCESS,
       [](const tty::LineSettings& l) { return l.xon == 0x01; }},
      {"XOFF character", VI_ATTR_ASRL_XOFF_CHAR, 0x02, VI_SUCCESS,
       [](const tty::LineSettings& l) { return l.xoff == 0x02; }},
      {"END_IN BREAK is output only", VI_ATTR_ASRL_END_IN, VI_ASRL_END_BREAK,
       VI_ERROR_NSUP_ATTR_STATE, nullptr},
      {"break length 0", VI_ATTR_ASRL_BREAK_LEN, 0, VI_ERROR_NSUP_ATTR_STATE, nullptr},
      {"available bytes are read-only", VI_ATTR_ASRL_AVAIL_NUM, 1, VI_ERROR_ATTR_READONLY, nullptr},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    const tty::LineSettings before = line();
    EXPECT_EQ(viSetAttribute(vi_, row.attribute, row.value), row.status);
    const tty::LineSettings after = line();
    if (row.held != nullptr) {
      EXPECT_TRUE(row.held(after));
      ViUInt32 value = 0;
      ASSERT_EQ(viGetAttribute(vi_, row.attribute, &value), VI_SUCCESS);
      const ViUInt32 mask = row.attribute == VI_ATTR_ASRL_BAUD ? 0xFFFFFFFFU : 0xFFFFU;
      EXPECT_EQ(value & mask, row.value & mask);
    } else {
      EXPECT_EQ(after.baud, before.baud);  // a refused value leaves the line alone
      EXPECT_EQ(after.data_bits, before.data_bits);
    }
  }
  // The session still talks after all of that, on the line's last settings (a pseudo-terminal
  // ignores framing).
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_ASRL_FLOW_CNTRL, VI_ASRL_FLOW_NONE), VI_SUCCESS);
  ASSERT_EQ(write("*IDN?\n"), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  EXPECT_EQ(read(status).substr(0, 8), "Velharn,");
  EXPECT_EQ(status, VI_SUCCESS);
}

TEST_F(SerialSession, EndOnOutput) {
  const struct {
    const char* name;
    ViUInt16 end_out;
    ViBoolean send_end;
    std::string data;
    std::string wire;
  } kRows[] = {
      {"none", VI_ASRL_END_NONE, VI_TRUE, "*CLS\n", "*CLS\n"},
      {"termination character appended", VI_ASRL_END_TERMCHAR, VI_TRUE, "*CLS", "*CLS\n"},
      {"termination character, END off", VI_ASRL_END_TERMCHAR, VI_FALSE, "*CL", "*CL"},
      {"last bit marks the last byte", VI_ASRL_END_LAST_BIT, VI_TRUE, "AB", "A\xC2"},
      {"last bit cleared elsewhere", VI_ASRL_END_LAST_BIT, VI_FALSE, "\xC1\xC2", "AB"},
  };
  std::string expected;
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_ASRL_END_OUT, row.end_out), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_SEND_END_EN, row.send_end), VI_SUCCESS);
    EXPECT_EQ(write(row.data), VI_SUCCESS);
    expected += row.wire;
  }
  // A query after them all proves every byte before it arrived, in order.
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_ASRL_END_OUT, VI_ASRL_END_NONE), VI_SUCCESS);
  ASSERT_EQ(write("\n*OPC?\n"), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  read(status);
  EXPECT_EQ(server_->received(), expected + "\n*OPC?\n");
}

TEST_F(SerialSession, EndOnInput) {
  const struct {
    const char* name;
    ViUInt16 end_in;
    std::string reply;
    ViUInt32 count;
    std::string first;
    ViStatus status;
    ViUInt32 avail_after;
  } kRows[] = {
      {"termination character", VI_ASRL_END_TERMCHAR, "12\n34\n", 64, "12\n", VI_SUCCESS, 3},
      {"none: the count", VI_ASRL_END_NONE, "12\n34\n", 6, "12\n34\n", VI_SUCCESS_MAX_CNT, 0},
      {"last bit", VI_ASRL_END_LAST_BIT, "1\xB2\x33\n", 64, "1\xB2", VI_SUCCESS, 2},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_ASRL_END_IN, row.end_in), VI_SUCCESS);
    server_->push_reply(row.reply);
    ASSERT_EQ(write("*IDN?\n"), VI_SUCCESS);
    ViStatus status = VI_SUCCESS;
    EXPECT_EQ(read(status, row.count), row.first);
    EXPECT_EQ(status, row.status);
    ViUInt32 avail = 99;
    ASSERT_EQ(viGetAttribute(vi_, VI_ATTR_ASRL_AVAIL_NUM, &avail), VI_SUCCESS);
    EXPECT_EQ(avail, row.avail_after);
    ASSERT_EQ(viFlush(vi_, VI_READ_BUF_DISCARD), VI_SUCCESS);
  }
}

TEST_F(SerialSession, OnePortOneSession) {
  ViSession second = VI_NULL;
  EXPECT_EQ(viOpen(rm_, resource_.c_str(), VI_NO_LOCK, 0, &second), VI_ERROR_RSRC_BUSY);
  ASSERT_EQ(viClose(vi_), VI_SUCCESS);
  ASSERT_EQ(viOpen(rm_, resource_.c_str(), VI_NO_LOCK, 0, &second), VI_SUCCESS);
}

TEST_F(SerialSession, InstrumentOperationsAsIeee488Strings) {
  ASSERT_EQ(write("*ESE 1;*OPC\n"), VI_SUCCESS);  // ESB in the status byte
  ViUInt16 stb = 0;
  ASSERT_EQ(viReadSTB(vi_, &stb), VI_SUCCESS);
  EXPECT_EQ(stb & 0x20, 0x20);
  // viClear drops output not yet sent, so it goes first.
  EXPECT_EQ(viClear(vi_), VI_SUCCESS);
  EXPECT_EQ(viAssertTrigger(vi_, VI_TRIG_PROT_DEFAULT), VI_SUCCESS);
  // A serial line has no remote/local control: nothing goes out.
  EXPECT_EQ(viGpibControlREN(vi_, VI_GPIB_REN_ASSERT_ADDRESS), VI_ERROR_NSUP_OPER);
  ASSERT_EQ(write("*OPC?\n"), VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  EXPECT_EQ(read(status), "1\n");
  EXPECT_EQ(server_->received(), "*ESE 1;*OPC\n*STB?\n*TRG\n*OPC?\n");
}

enum class After { kUsable, kLost };

struct Fault {
  const char* name;
  void (*arrange)(ViSession vi, sim::Server& server);
  ViStatus write_status;  // of "*IDN?\n"
  ViStatus read_status;   // of the reply (not read when the write failed)
  After after;
};

const Fault kFaults[] = {
    {"XOFF held: the write times out",
     [](ViSession vi, sim::Server& server) {
       viSetAttribute(vi, VI_ATTR_ASRL_FLOW_CNTRL, VI_ASRL_FLOW_XON_XOFF);
       server.serial_hold_xoff(true);
       (void)write_text(vi, "*OPC?\n");
       // Read behind the XOFF: from here on the terminal holds output.
       ViStatus status = VI_ERROR_IO;
       (void)read_text(vi, status, 8);
       EXPECT_EQ(status, VI_SUCCESS);
       EXPECT_EQ(write_text(vi, "*IDN?\n"), VI_ERROR_TMO);
       // Released and cleared, the line works again (the row's query below).
       server.serial_hold_xoff(false);
       viClear(vi);
     },
     VI_SUCCESS, VI_SUCCESS, After::kUsable},
    {"hang-up", [](ViSession, sim::Server& server) { server.serial_hang_up(); }, VI_ERROR_CONN_LOST,
     VI_ERROR_CONN_LOST, After::kLost},
    {"hang-up on the line", [](ViSession, sim::Server& server) { server.close_after_lines(1); },
     VI_SUCCESS, VI_ERROR_CONN_LOST, After::kLost},
    {"stall", [](ViSession, sim::Server& server) { server.set_silent(true); }, VI_SUCCESS,
     VI_ERROR_TMO, After::kUsable},
    {"cut mid-reply", [](ViSession, sim::Server& server) { server.close_mid_reply(3); }, VI_SUCCESS,
     VI_ERROR_CONN_LOST, After::kLost},
};

class SerialFaults : public SerialSession, public ::testing::WithParamInterface<Fault> {};

TEST_P(SerialFaults, OneQuery) {
  ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
  GetParam().arrange(vi_, *server_);
  ViStatus write_status = write("*IDN?\n");
  // A hang-up reaches the terminal asynchronously: a write may still be taken before it.
  if (GetParam().write_status == VI_ERROR_CONN_LOST && write_status == VI_SUCCESS) {
    ViStatus status = VI_SUCCESS;
    read(status);
    write_status = status;
  }
  EXPECT_EQ(write_status, GetParam().write_status);
  if (write_status == VI_SUCCESS) {
    ViStatus status = VI_SUCCESS;
    read(status);
    EXPECT_EQ(status, GetParam().read_status);
  }
  server_->reset_faults();
  // Discarding only drops bytes; the next send reports a lost line.
  ASSERT_EQ(viFlush(vi_, VI_READ_BUF_DISCARD), VI_SUCCESS);
  const ViStatus again = write("*OPC?\n");
  if (GetParam().after == After::kLost) {
    EXPECT_EQ(again, VI_ERROR_CONN_LOST);
    return;
  }
  ASSERT_EQ(again, VI_SUCCESS);
  ViStatus status = VI_SUCCESS;
  EXPECT_EQ(read(status), "1\n");
}

INSTANTIATE_TEST_SUITE_P(Serial, SerialFaults, ::testing::ValuesIn(kFaults),
                         zr48::test::NamedBy(&Fault::name));

TEST(SerialPortNames, BoardNumbersMapByARule) {
  const test::EnvironmentVariable asrl7("ZR48_VISA_ASRL7", "/dev/ttyUSB3");
  const struct {
    const char* resource;
    const char* path;  // nullptr: no device
  } kRows[] = {
      {"ASRL/dev/ttyUSB0::INSTR", "/dev/ttyUSB0"},
      {"asrl/dev/serial/by-id/usb-FTDI_A1-if00-port0", "/dev/serial/by-id/usb-FTDI_A1-if00-port0"},
      {"ASRL1::INSTR", "/dev/ttyS0"},
      {"ASRL4", "/dev/ttyS3"},
      {"ASRL7::INSTR", "/dev/ttyUSB3"},
      {"ASRL0::INSTR", nullptr},
  };
  for (const auto& row : kRows) {
    ResourceName name;
    ASSERT_EQ(parse_resource_name(row.resource, name), VI_SUCCESS) << row.resource;
    std::string path;
    EXPECT_EQ(serial_device_path(name, path), row.path != nullptr) << row.resource;
    if (row.path != nullptr) {
      EXPECT_EQ(path, row.path);
    }
  }
}

TEST(SerialPortNames, OpenFailures) {
  ViSession rm = VI_NULL;
  ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
  const struct {
    const char* resource;
    ViStatus status;
  } kRows[] = {
      {"ASRL/dev/null::INSTR", VI_ERROR_RSRC_NFOUND},  // not a terminal
      {"ASRL/dev/ttyZR48-none::INSTR", VI_ERROR_RSRC_NFOUND},
      {"ASRL0::INSTR", VI_ERROR_RSRC_NFOUND},
      {"ASRL/dev/tty::SOCKET", VI_ERROR_INV_RSRC_NAME},
  };
  for (const auto& row : kRows) {
    ViSession vi = VI_NULL;
    EXPECT_EQ(viOpen(rm, row.resource, VI_NO_LOCK, 0, &vi), row.status) << row.resource;
  }
  viClose(rm);
}

TEST(SerialPortNames, ABoardNumberReachesTheMappedPort) {
  sim::ServerOptions options;
  options.socket = false;
  options.serial = true;
  sim::Server server(options);
  const std::string resource = server.serial_resource();
  const test::EnvironmentVariable asrl9("ZR48_VISA_ASRL9",
                                        resource.substr(4, resource.size() - 11));
  ViSession rm = VI_NULL;
  ViSession vi = VI_NULL;
  ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
  ASSERT_EQ(viOpen(rm, "ASRL9::INSTR", VI_NO_LOCK, 0, &vi), VI_SUCCESS);
  EXPECT_EQ(write_text(vi, "*OPC?\n"), VI_SUCCESS);
  ViStatus status = VI_ERROR_IO;
  EXPECT_EQ(read_text(vi, status, 8), "1\n");
  EXPECT_EQ(status, VI_SUCCESS);
  viClose(rm);
}

}  // namespace
}  // namespace zr48::visa
