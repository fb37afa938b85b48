// linux-gpib's C library, libgpib.so.0, reached through a table of function pointers filled
// by dlopen() at run time: the library is not packaged for Debian, so the I/O layer neither
// links it nor needs it to start. ZR48_GPIB_LIBRARY names another file to load instead.
// A load that succeeds is kept for the life of the process (the library is never unloaded);
// one that fails is tried again at the next request, so installing it needs no restart.
#ifndef ZR48_PLATFORM_VISA_TRANSPORTS_GPIB_GPIB_LIBRARY_H
#define ZR48_PLATFORM_VISA_TRANSPORTS_GPIB_GPIB_LIBRARY_H

#include <string>

#include "zr48_visatype.h"

namespace zr48::visa::gpib {

// linux-gpib's values (gpib_user.h).
enum IbstaBit : int {
  kErr = 0x8000,
  kTimo = 0x4000,
  kEnd = 0x2000,
  kCmpl = 0x100,
};
enum Iberr : int {
  kEdvr = 0,  // system error (errno in ibcnt): no driver, no device file
  kEcic = 1,  // the board is not controller-in-charge
  kEnol = 2,  // no listener on the bus
  kEadr = 3,
  kEarg = 4,
  kEsac = 5,  // the board is not system controller
  kEabo = 6,  // I/O aborted: the time-out passed
  kEneb = 7,  // no such board
  kEoip = 10,
  kEcap = 11,
  kEbus = 14,
};
inline constexpr int kReos = 0x400;  // ibeos: a read ends at the eos character
inline constexpr unsigned short kNoAddr = 0xFFFF;
inline constexpr int kBoards = 16;  // GPIB_MAX_NUM_BOARDS

using Addr4882 = unsigned short;  // primary address | secondary address << 8

struct Library {
  int (*ibdev)(int board, int pad, int sad, int timeout, int eot, int eos);
  int (*ibonl)(int ud, int online);
  int (*ibwrt)(int ud, const void* data, long count);
  int (*ibrd)(int ud, void* data, long count);
  int (*ibclr)(int ud);
  int (*ibtrg)(int ud);
  int (*ibrsp)(int ud, char* status);
  int (*ibloc)(int ud);
  int (*ibtmo)(int ud, int timeout);
  int (*ibeot)(int ud, int eot);
  int (*ibeos)(int ud, int eos);
  int (*ibsre)(int board, int enable);
  int (*ibln)(int ud, int pad, int sad, short* found);
  int (*thread_ibsta)();    // ThreadIbsta: this thread's ibsta
  int (*thread_iberr)();    // ThreadIberr: this thread's iberr
  long (*thread_ibcntl)();  // ThreadIbcntl: this thread's count
  // Optional (IEEE 488.2 calls); nullptr when the library lacks them.
  void (*find_listeners)(int board, const Addr4882* pads, Addr4882* found, int limit);  // FindLstn
  void (*enable_remote)(int board, const Addr4882* list);  // EnableRemote
  void (*send_llo)(int board);                             // SendLLO
  void (*set_rwls)(int board, const Addr4882* list);       // SetRWLS
};

// The loaded library, or nullptr with `why` saying what is missing.
const Library* load_library(std::string& why);

// The VISA status for a failed call: its ibsta and iberr.
ViStatus status_from(int ibsta, int iberr);

// The T-value for a wait of `timeout_ms` as poll() takes it (-1 for ever, 0 none): the shortest
// that is not shorter (VISA's time-out is the least time to wait), T1000s beyond that, TNONE for
// ever.
int t_value(int timeout_ms);

}  // namespace zr48::visa::gpib

#endif
