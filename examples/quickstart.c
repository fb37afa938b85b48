/* Quick start: open a session with the supply, print who it is, program all seven channels,
 * measure each, print a table, switch the outputs off and close.
 *
 *   quickstart <resource> [options]
 *
 * <resource> is a VISA resource descriptor such as "TCPIP::127.0.0.1::5025::SOCKET" or an IVI
 * logical name; [options] is an IVI option string, e.g. "Simulate=1" for a session that talks to
 * no instrument at all (then nothing is measured and the table shows dashes). */
#include <stdio.h>

#include "ZR48.h"

/* Prints why a call failed: the session's error information (or the thread's, when no session
 * exists) or, when nothing was recorded, the status's own text. Instrument functions record no
 * I/O failure, so their time-outs and lost links are described from the status. */
static void report_error(ViSession vi, ViStatus status, const char* what) {
  ViStatus code = VI_SUCCESS;
  ViChar description[1024] = "";
  ZR48_GetError(vi, &code, (ViInt32)sizeof description, description);
  if (code == VI_SUCCESS) {
    code = status;
    ZR48_error_message(vi, status, description);
  }
  fprintf(stderr, "%s failed (0x%08X):\n%s\n", what, (unsigned)code, description);
}

/* Counts a failed call and says which one it was. */
static int check(ViSession vi, ViStatus status, const char* what) {
  if (status >= 0) return 0;
  report_error(vi, status, what);
  return 1;
}

static int print_attribute(ViSession vi, const char* label, ViAttr id) {
  ViChar value[512] = "";
  ViStatus status = ZR48_GetAttributeViString(vi, VI_NULL, id, (ViInt32)sizeof value, value);
  if (check(vi, status, label)) return 1;
  printf("%-18s %s\n", label, value);
  return 0;
}

/* Levels for channel n (1-based): 1.5 V steps, the last channel stays within its 6 V rating. */
static void levels_for(int n, char* volts, char* ovp, size_t size) {
  double v = n < 7 ? 1.5 * n : 5.0;
  snprintf(volts, size, "%.2f", v);
  snprintf(ovp, size, "%.2f", v + 2.0);
}

static int program_channel(ViSession vi, const char* channel, int n) {
  char volts[32], ovp[32];
  int failures = 0;
  levels_for(n, volts, ovp, sizeof volts);
  failures += check(vi, ZR48_SetVoltage(vi, volts, channel), "ZR48_SetVoltage");
  failures += check(vi, ZR48_SetCurrent(vi, "0.8", channel), "ZR48_SetCurrent");
  failures += check(vi, ZR48_SetVoltProt(vi, ovp, channel), "ZR48_SetVoltProt");
  failures += check(vi, ZR48_SetVoltProtStat(vi, "ON", channel), "ZR48_SetVoltProtStat");
  failures += check(vi, ZR48_SetOutpEnab(vi, channel, "ON"), "ZR48_SetOutpEnab");
  /* The output itself is switched through the per-channel OUTP attribute. */
  failures += check(vi, ZR48_SetAttributeViString(vi, channel, ZR48_ATTR_OUTP, "ON"), "OUTP ON");
  return failures;
}

static int measure_channel(ViSession vi, const char* channel) {
  ViChar volts[512] = "-", amps[512] = "-", watts[512] = "-";
  int failures = 0;
  failures += check(vi, ZR48_MeasVolt(vi, volts, channel), "ZR48_MeasVolt");
  failures += check(vi, ZR48_MeasCurr(vi, amps, channel), "ZR48_MeasCurr");
  failures += check(vi, ZR48_MeasPow(vi, watts, channel), "ZR48_MeasPow");
  printf("%-8s %-16s %-16s %-16s\n", channel, volts, amps, watts);
  return failures;
}

int main(int argc, char** argv) {
  ViSession vi = VI_NULL;
  ViStatus status;
  ViInt32 count = 0;
  ViChar channel[256];
  int failures = 0;
  int n;

  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: %s <resource> [options]\n", argv[0]);
    return 2;
  }
  /* Identification query and reset: the supply answers for itself and starts from *RST. */
  status = ZR48_InitWithOptions(argv[1], VI_TRUE, VI_TRUE, argc == 3 ? argv[2] : "", &vi);
  if (status < 0) {
    report_error(VI_NULL, status, "ZR48_InitWithOptions");
    return 1; /* no session: vi is VI_NULL and is not used again */
  }
  failures += print_attribute(vi, "Manufacturer:", ZR48_ATTR_INSTRUMENT_MANUFACTURER);
  failures += print_attribute(vi, "Model:", ZR48_ATTR_INSTRUMENT_MODEL);
  failures += print_attribute(vi, "Firmware:", ZR48_ATTR_INSTRUMENT_FIRMWARE_REVISION);
  failures += print_attribute(vi, "Driver revision:", ZR48_ATTR_SPECIFIC_DRIVER_REVISION);

  failures += check(vi, ZR48_GetAttributeViInt32(vi, VI_NULL, ZR48_ATTR_CHANNEL_COUNT, &count),
                    "channel count");
  for (n = 1; n <= count; n++) {
    if (check(vi, ZR48_GetChannelName(vi, n, (ViInt32)sizeof channel, channel), "channel name"))
      return 1;
    failures += program_channel(vi, channel, n);
  }

  printf("\n%-8s %-16s %-16s %-16s\n", "Channel", "Voltage (V)", "Current (A)", "Power (W)");
  for (n = 1; n <= count; n++) {
    if (check(vi, ZR48_GetChannelName(vi, n, (ViInt32)sizeof channel, channel), "channel name"))
      return 1;
    failures += measure_channel(vi, channel);
    failures +=
        check(vi, ZR48_SetAttributeViString(vi, channel, ZR48_ATTR_OUTP, "OFF"), "OUTP OFF");
  }
  printf("\nAll outputs switched off.\n");

  status = ZR48_close(vi);
  if (status < 0) {
    report_error(VI_NULL, status, "ZR48_close");
    failures++;
  }
  return failures == 0 ? 0 : 1;
}
