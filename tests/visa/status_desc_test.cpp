#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "visa/visa.h"

namespace {

struct Known {
  ViStatus status;
  const char* text;
};

TEST(StatusDesc, GivesVisaTextsForKnownCodes) {
  const Known rows[] = {
      {VI_SUCCESS, "Operation completed successfully."},
      {VI_SUCCESS_TERM_CHAR, "The specified termination character was read."},
      {VI_ERROR_TMO, "Timeout expired before operation completed."},
      {VI_ERROR_CONN_LOST, "The connection for the given session has been lost."},
      {VI_ERROR_INV_RSRC_NAME, "Invalid resource reference specified. Parsing error."},
      {VI_ERROR_MACHINE_NAVAIL,
       "The remote machine does not exist or is not accepting any connections."},
  };
  for (const auto& row : rows) {
    ViChar text[256];
    EXPECT_EQ(viStatusDesc(VI_NULL, row.status, text), VI_SUCCESS);
    EXPECT_STREQ(text, row.text);
  }
}

TEST(StatusDesc, UnknownCodeWarnsAndStillDescribes) {
  ViChar text[256];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(viStatusDesc(VI_NULL, static_cast<ViStatus>(0xBFFF7777), text), VI_WARN_UNKNOWN_STATUS);
  EXPECT_LT(std::strlen(text), sizeof text);
  EXPECT_NE(std::string(text).find("BFFF7777"), std::string::npos);
  EXPECT_EQ(viStatusDesc(VI_NULL, VI_SUCCESS, nullptr), VI_ERROR_USER_BUF);
}

}  // namespace
