/* Control side of the stand-in libgpib.so.0 the tests build: it serves linux-gpib's C calls
 * from devices attached here (a simulator's bus session in the tests), records what the
 * controller set, and injects bus faults. C, so that a test dlsym()s it from the library the
 * I/O layer loaded. */
#ifndef ZR48_TESTS_GPIB_STANDIN_CONTROL_H
#define ZR48_TESTS_GPIB_STANDIN_CONTROL_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A device on the bus. `write` returns 0, or -1 when the device has left the bus; `read`
 * returns the bytes stored (at most `capacity`, setting *end when EOI came with the last), or
 * -1 when nothing came within `timeout_us` (-1: no limit). */
struct zr48_gpib_standin_device {
  void* context;
  int (*write)(void* context, const char* data, size_t size, int end);
  long (*read)(void* context, char* data, size_t capacity, long timeout_us, int* end);
  int (*status_byte)(void* context);
  void (*clear)(void* context);
  void (*trigger)(void* context);
  void (*opened)(void* context); /* ibdev made a descriptor for it: a new session begins */
};

/* `sad` as linux-gpib writes it: 0 for none, else 0x60 + the secondary address. */
int zr48_gpib_standin_attach(int board, int pad, int sad, const struct zr48_gpib_standin_device*);
void zr48_gpib_standin_detach_all(void);

enum zr48_gpib_standin_fault {
  ZR48_GPIB_STANDIN_NO_FAULT = 0,
  ZR48_GPIB_STANDIN_TIMEOUT = 1,     /* every transfer ends with EABO after its time-out */
  ZR48_GPIB_STANDIN_NO_LISTENER = 2, /* the devices are off the bus: writes ENOL */
  ZR48_GPIB_STANDIN_NO_BOARD = 3     /* no interface: ibdev fails with EDVR */
};
void zr48_gpib_standin_set_fault(int fault);

/* What the controller last set for a device, and the device's remote state. */
struct zr48_gpib_standin_state {
  int timeout; /* T-value of the newest descriptor for it */
  int eot;     /* EOI on the last byte of the last write */
  int eos;     /* eos mode (character and REOS/XEOS/BIN bits) */
  int remote;  /* REN asserted and addressed */
  int lockout; /* local lockout */
  int open;    /* descriptors online */
  int writes;  /* ibwrt calls */
};
int zr48_gpib_standin_get_state(int board, int pad, int sad, struct zr48_gpib_standin_state* out);

#ifdef __cplusplus
}
#endif

#endif
