// Sets channel 2 to 2.5 V, measures it and checks the reading: the installed header and
// library, used from C++ with RAII closing the session.
#include <ZR48.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

void check(ViSession vi, ViStatus status, const char* what) {
  if (status >= VI_SUCCESS) return;
  ViStatus code = status;
  char text[1024] = "";
  ZR48_GetError(vi, &code, static_cast<ViInt32>(sizeof text), text);
  throw std::runtime_error(std::string(what) + ": " + text);
}

struct Closer {
  void operator()(const ViSession* vi) const { ZR48_close(*vi); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: cxx_consumer <resource>\n");
    return 2;
  }
  try {
    ViSession vi = VI_NULL;
    check(VI_NULL, ZR48_InitWithOptions(argv[1], VI_TRUE, VI_TRUE, "", &vi), "init");
    const std::unique_ptr<ViSession, Closer> session(&vi);
    check(vi, ZR48_SetCurrent(vi, "1.0", "ch2"), "SetCurrent");
    check(vi, ZR48_SetVoltage(vi, "2.5", "ch2"), "SetVoltage");
    check(vi, ZR48_SetOutpEnab(vi, "ch2", "ON"), "SetOutpEnab");
    check(vi, ZR48_SetAttributeViString(vi, "ch2", ZR48_ATTR_OUTP, "ON"), "OUTP ON");
    char reading[512] = "";
    check(vi, ZR48_MeasVolt(vi, reading, "ch2"), "MeasVolt");
    const double volts = std::strtod(reading, nullptr);
    std::printf("ch2 measures %s", reading);
    return volts > 2.49 && volts < 2.51 ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
