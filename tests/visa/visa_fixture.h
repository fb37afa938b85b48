// A resource manager and one session opened on a scripted loopback peer.
#ifndef ZR48_TESTS_VISA_VISA_FIXTURE_H
#define ZR48_TESTS_VISA_VISA_FIXTURE_H

#include <gtest/gtest.h>

#include "loopback_peer.h"
#include "session_io.h"
#include "visa/visa.h"

namespace zr48::visa::testing {

class PeerSession : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(viOpenDefaultRM(&rm_), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm_, peer_.resource().c_str(), VI_NO_LOCK, 0, &vi_), VI_SUCCESS);
    peer_.accept();
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
  }
  void TearDown() override { viClose(rm_); }

  LoopbackPeer peer_;
  ViSession rm_ = VI_NULL;
  ViSession vi_ = VI_NULL;
};

}  // namespace zr48::visa::testing

#endif
