// Session attributes: defaults, accepted and refused values, read-only attributes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "visa_fixture.h"

namespace zr48::visa::testing {
namespace {

using Attributes = PeerSession;

// Reads an attribute of any numeric width into 64 bits (the buffer starts zeroed).
ViAttrState get_number(ViSession vi, ViAttr attribute) {
  ViAttrState value = 0;
  EXPECT_EQ(viGetAttribute(vi, attribute, &value), VI_SUCCESS) << std::hex << attribute;
  return value;
}

TEST_F(Attributes, SocketDefaults) {
  ViSession rm = VI_NULL;
  ViSession vi = VI_NULL;
  ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
  ASSERT_EQ(viOpen(rm, peer_.resource().c_str(), VI_NO_LOCK, 0, &vi), VI_SUCCESS);
  const struct {
    ViAttr attribute;
    ViAttrState value;
  } rows[] = {
      {VI_ATTR_TMO_VALUE, 2000},
      {VI_ATTR_TERMCHAR, 0x0A},
      {VI_ATTR_TERMCHAR_EN, VI_TRUE},
      {VI_ATTR_SUPPRESS_END_EN, VI_TRUE},
      {VI_ATTR_SEND_END_EN, VI_TRUE},
      {VI_ATTR_RSRC_LOCK_STATE, VI_NO_LOCK},
      {VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_DISABLE},
      {VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_WHEN_FULL},
      {VI_ATTR_RD_BUF_SIZE, 4096},
      {VI_ATTR_WR_BUF_SIZE, 4096},
      {VI_ATTR_INTF_TYPE, VI_INTF_TCPIP},
      {VI_ATTR_INTF_NUM, 0},
      {VI_ATTR_TCPIP_PORT, peer_.port()},
      {VI_ATTR_TCPIP_NODELAY, VI_TRUE},
      {VI_ATTR_TCPIP_KEEPALIVE, VI_FALSE},
      {VI_ATTR_IO_PROT, VI_PROT_NORMAL},
  };
  for (const auto& row : rows)
    EXPECT_EQ(get_number(vi, row.attribute), row.value) << std::hex << row.attribute;

  char text[256];
  ASSERT_EQ(viGetAttribute(vi, VI_ATTR_RSRC_NAME, text), VI_SUCCESS);
  EXPECT_EQ(std::string(text), "TCPIP0::127.0.0.1::" + std::to_string(peer_.port()) + "::SOCKET");
  ASSERT_EQ(viGetAttribute(vi, VI_ATTR_RSRC_CLASS, text), VI_SUCCESS);
  EXPECT_STREQ(text, "SOCKET");
  ASSERT_EQ(viGetAttribute(vi, VI_ATTR_TCPIP_ADDR, text), VI_SUCCESS);
  EXPECT_STREQ(text, "127.0.0.1");
  ASSERT_EQ(viGetAttribute(vi, VI_ATTR_TCPIP_HOSTNAME, text), VI_SUCCESS);
  EXPECT_STREQ(text, "127.0.0.1");
  EXPECT_EQ(viClose(rm), VI_SUCCESS);
}

TEST_F(Attributes, WritableValuesRoundTrip) {
  const struct {
    ViAttr attribute;
    ViAttrState value;
  } rows[] = {
      {VI_ATTR_TMO_VALUE, 5000},
      {VI_ATTR_TMO_VALUE, VI_TMO_INFINITE},
      {VI_ATTR_TMO_VALUE, 0},
      {VI_ATTR_TERMCHAR, '\r'},
      {VI_ATTR_TERMCHAR_EN, VI_FALSE},
      {VI_ATTR_SUPPRESS_END_EN, VI_FALSE},
      {VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS},
      {VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_DISABLE},
      {VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS},
      {VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_WHEN_FULL},
      {VI_ATTR_TCPIP_NODELAY, VI_FALSE},
      {VI_ATTR_TCPIP_NODELAY, VI_TRUE},
      {VI_ATTR_TCPIP_KEEPALIVE, VI_TRUE},
      {VI_ATTR_IO_PROT, VI_PROT_NORMAL},
  };
  for (const auto& row : rows) {
    ASSERT_EQ(viSetAttribute(vi_, row.attribute, row.value), VI_SUCCESS)
        << std::hex << row.attribute;
    EXPECT_EQ(get_number(vi_, row.attribute), row.value) << std::hex << row.attribute;
  }
}

TEST_F(Attributes, RefusedWrites) {
  const struct {
    ViAttr attribute;
    ViAttrState value;
    ViStatus status;
  } rows[] = {
      {VI_ATTR_TERMCHAR, 0x100, VI_ERROR_NSUP_ATTR_STATE},
      {VI_ATTR_TERMCHAR_EN, 2, VI_ERROR_NSUP_ATTR_STATE},
      {VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_WHEN_FULL, VI_ERROR_NSUP_ATTR_STATE},
      {VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_DISABLE, VI_ERROR_NSUP_ATTR_STATE},
      {VI_ATTR_TMO_VALUE, 0x100000000ULL, VI_ERROR_NSUP_ATTR_STATE},
      {VI_ATTR_TCPIP_NODELAY, 7, VI_ERROR_NSUP_ATTR_STATE},
      {VI_ATTR_IO_PROT, VI_PROT_HS488, VI_ERROR_NSUP_ATTR_STATE},
      {VI_ATTR_IO_PROT, VI_PROT_4882_STRS, VI_ERROR_NSUP_ATTR_STATE},
      {VI_ATTR_RD_BUF_SIZE, 10, VI_ERROR_ATTR_READONLY},
      {VI_ATTR_WR_BUF_SIZE, 10, VI_ERROR_ATTR_READONLY},
      {VI_ATTR_RSRC_NAME, 0, VI_ERROR_ATTR_READONLY},
      {VI_ATTR_RSRC_CLASS, 0, VI_ERROR_ATTR_READONLY},
      {VI_ATTR_INTF_TYPE, 1, VI_ERROR_ATTR_READONLY},
      {VI_ATTR_INTF_NUM, 1, VI_ERROR_ATTR_READONLY},
      {VI_ATTR_TCPIP_PORT, 1, VI_ERROR_ATTR_READONLY},
      {VI_ATTR_TCPIP_ADDR, 0, VI_ERROR_ATTR_READONLY},
      {VI_ATTR_TCPIP_HOSTNAME, 0, VI_ERROR_ATTR_READONLY},
      {0x3FFF0999, 0, VI_ERROR_NSUP_ATTR},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(viSetAttribute(vi_, row.attribute, row.value), row.status)
        << std::hex << row.attribute;
  }
  EXPECT_EQ(get_number(vi_, VI_ATTR_TERMCHAR), 0x0Au);  // unchanged by the refused write
  ViUInt32 value = 0;
  EXPECT_EQ(viGetAttribute(vi_, 0x3FFF0999, &value), VI_ERROR_NSUP_ATTR);
  EXPECT_EQ(viGetAttribute(vi_, VI_ATTR_TMO_VALUE, nullptr), VI_ERROR_USER_BUF);
  EXPECT_EQ(viGetAttribute(rm_, VI_ATTR_TMO_VALUE, &value), VI_ERROR_NSUP_ATTR);
}

TEST_F(Attributes, SetBufSizesTheFormattedBuffers) {
  ASSERT_EQ(viSetBuf(vi_, VI_READ_BUF | VI_WRITE_BUF, 4000), VI_SUCCESS);
  EXPECT_EQ(get_number(vi_, VI_ATTR_RD_BUF_SIZE), 4000u);
  EXPECT_EQ(get_number(vi_, VI_ATTR_WR_BUF_SIZE), 4000u);
  ASSERT_EQ(viSetBuf(vi_, VI_WRITE_BUF, 64), VI_SUCCESS);
  EXPECT_EQ(get_number(vi_, VI_ATTR_RD_BUF_SIZE), 4000u);
  EXPECT_EQ(get_number(vi_, VI_ATTR_WR_BUF_SIZE), 64u);
  EXPECT_EQ(viSetBuf(vi_, VI_IO_IN_BUF, 64), VI_WARN_NSUP_BUF);
  EXPECT_EQ(viSetBuf(vi_, 0, 64), VI_ERROR_INV_MASK);
  EXPECT_EQ(viSetBuf(vi_, VI_READ_BUF_DISCARD, 64), VI_ERROR_INV_MASK);
  EXPECT_EQ(viSetBuf(vi_, 0x100, 64), VI_ERROR_INV_MASK);
  EXPECT_EQ(viSetBuf(vi_, VI_READ_BUF, 0), VI_ERROR_INV_PARAMETER);
}

// Pending formatted output is sent before the write buffer is resized.
TEST_F(Attributes, SetBufSendsPendingOutputFirst) {
  ASSERT_EQ(viPrintf(vi_, "VOLT 1"), VI_SUCCESS);
  EXPECT_EQ(peer_.receive_pending(), "");
  ASSERT_EQ(viSetBuf(vi_, VI_WRITE_BUF, 100), VI_SUCCESS);
  EXPECT_EQ(peer_.receive(6), "VOLT 1");
}

}  // namespace
}  // namespace zr48::visa::testing
