/* A user's C program on the installed VISA library: asks the simulated supply who it is,
 * sets channel 2 and reads the setting back with viQueryf. */
#include <stdio.h>
#include <string.h>

#include <visa.h>

int main(int argc, char** argv) {
  ViSession rm = VI_NULL, vi = VI_NULL;
  ViChar idn[256] = "";
  ViReal64 volts = 0.0;
  ViStatus status;
  if (argc != 2) return 2;
  status = viOpenDefaultRM(&rm);
  if (status == VI_SUCCESS) status = viOpen(rm, argv[1], VI_NULL, 2000, &vi);
  if (status == VI_SUCCESS) status = viQueryf(vi, "*IDN?\n", "%255[^\n]%*c", idn);
  if (status >= VI_SUCCESS) status = viPrintf(vi, "INST CH2;VOLT %.2f\n", 3.25);
  if (status >= VI_SUCCESS) status = viQueryf(vi, "VOLT?\n", "%lf", &volts);
  if (status < VI_SUCCESS) {
    ViChar text[256];
    viStatusDesc(rm, status, text);
    fprintf(stderr, "failed: %s\n", text);
  } else {
    printf("%s\n%.2f\n", idn, volts);
  }
  viClose(rm); /* closes vi with it */
  return status >= VI_SUCCESS && strncmp(idn, "Velharn", 7) == 0 && volts == 3.25 ? 0 : 1;
}
