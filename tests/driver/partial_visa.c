/* A VISA library with every operation the driver needs but viVScanf, for the test that the
 * driver names the missing one. Nothing here is ever called. */
#include "zr48_visatype.h"

#include <stdarg.h>

#define REFUSE return -1 /* any failure */

ViStatus viOpenDefaultRM(ViPSession rm) {
  (void)rm;
  REFUSE;
}
ViStatus viOpen(ViSession rm, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                ViPSession vi) {
  (void)rm;
  (void)name;
  (void)mode;
  (void)timeout;
  (void)vi;
  REFUSE;
}
ViStatus viClose(ViObject vi) {
  (void)vi;
  REFUSE;
}
ViStatus viSetAttribute(ViObject vi, ViAttr attr, ViAttrState value) {
  (void)vi;
  (void)attr;
  (void)value;
  REFUSE;
}
ViStatus viSetBuf(ViSession vi, ViUInt16 mask, ViUInt32 size) {
  (void)vi;
  (void)mask;
  (void)size;
  REFUSE;
}
ViStatus viFlush(ViSession vi, ViUInt16 mask) {
  (void)vi;
  (void)mask;
  REFUSE;
}
ViStatus viRead(ViSession vi, ViPBuf buf, ViUInt32 count, ViPUInt32 got) {
  (void)vi;
  (void)buf;
  (void)count;
  (void)got;
  REFUSE;
}
ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 count, ViPUInt32 put) {
  (void)vi;
  (void)buf;
  (void)count;
  (void)put;
  REFUSE;
}
ViStatus viVPrintf(ViSession vi, ViConstString format, va_list args) {
  (void)vi;
  (void)format;
  (void)args;
  REFUSE;
}
