/* A module with every VISA symbol the driver needs but viVScanf, for the test that the driver
 * names the missing one. Only the names matter: nothing here is ever called. */
#define NAME(symbol) \
  void symbol(void); \
  void symbol(void) {}

NAME(viOpenDefaultRM)
NAME(viOpen)
NAME(viClose)
NAME(viSetAttribute)
NAME(viSetBuf)
NAME(viFlush)
NAME(viRead)
NAME(viWrite)
NAME(viVPrintf)
