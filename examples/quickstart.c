/* Quick start: open a session with the supply, print who it is, close.
 *
 *   quickstart <resource> [options]
 *
 * <resource> is a VISA resource descriptor such as "TCPIP::127.0.0.1::5025::SOCKET" or an IVI
 * logical name; [options] is an IVI option string, e.g. "Simulate=1" for a session that talks to
 * no instrument at all. */
#include <stdio.h>

#include "ZR48.h"

/* Prints the session's error information (or the thread's, when no session exists). */
static void report_error(ViSession vi, const char* what) {
  ViStatus code = VI_SUCCESS;
  ViChar description[1024] = "";
  ZR48_GetError(vi, &code, (ViInt32)sizeof description, description);
  fprintf(stderr, "%s failed (0x%08X):\n%s\n", what, (unsigned)code, description);
}

static int print_attribute(ViSession vi, const char* label, ViAttr id) {
  ViChar value[512] = "";
  ViStatus status = ZR48_GetAttributeViString(vi, VI_NULL, id, (ViInt32)sizeof value, value);
  if (status < 0) {
    report_error(vi, label);
    return 1;
  }
  printf("%-18s %s\n", label, value);
  return 0;
}

int main(int argc, char** argv) {
  ViSession vi = VI_NULL;
  ViStatus status;
  int failures = 0;

  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: %s <resource> [options]\n", argv[0]);
    return 2;
  }
  /* Identification query and reset: the supply answers for itself and starts from *RST. */
  status = ZR48_InitWithOptions(argv[1], VI_TRUE, VI_TRUE, argc == 3 ? argv[2] : "", &vi);
  if (status < 0) {
    report_error(VI_NULL, "ZR48_InitWithOptions");
    return 1;
  }
  failures += print_attribute(vi, "Manufacturer:", ZR48_ATTR_INSTRUMENT_MANUFACTURER);
  failures += print_attribute(vi, "Model:", ZR48_ATTR_INSTRUMENT_MODEL);
  failures += print_attribute(vi, "Firmware:", ZR48_ATTR_INSTRUMENT_FIRMWARE_REVISION);
  failures += print_attribute(vi, "Driver revision:", ZR48_ATTR_SPECIFIC_DRIVER_REVISION);

  status = ZR48_close(vi);
  if (status < 0) {
    report_error(VI_NULL, "ZR48_close");
    failures++;
  }
  return failures == 0 ? 0 : 1;
}
