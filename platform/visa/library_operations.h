/* The rest of VISA's C interface, served for VISA clients of libzr48visa (PyVISA, C programs):
 * queries, buffered I/O, resource parsing and search, and the operations this layer does not
 * serve, which answer VI_ERROR_NSUP_OPER. The driver does not use them. */
#ifndef ZR48_PLATFORM_VISA_LIBRARY_OPERATIONS_H
#define ZR48_PLATFORM_VISA_LIBRARY_OPERATIONS_H

#include <stdarg.h>

#include "visa/visa.h"

#ifdef __cplusplus
extern "C" {
#endif

#define VI_SUCCESS_EVENT_DIS 0x3FFF0003L
#define VI_ERROR_INV_EXPR (_VI_ERROR + 0x3FFF0010L)
#define VI_ERROR_INV_LOCK_TYPE (_VI_ERROR + 0x3FFF0020L)
#define VI_ERROR_INV_EVENT (_VI_ERROR + 0x3FFF0026L)
#define VI_ERROR_INV_PROT (_VI_ERROR + 0x3FFF0079L)
#define VI_FIND_BUFLEN 256
#define VI_TRIG_PROT_DEFAULT 0

typedef ViObject ViFindList;
typedef ViFindList* ViPFindList;
typedef ViUInt32 ViJobId;
typedef ViJobId* ViPJobId;
typedef ViEventType* ViPEventType;
typedef ViEvent* ViPEvent;
typedef ViUInt32 ViEventFilter;
typedef ViStatus (*ViHndlr)(ViSession vi, ViEventType eventType, ViEvent event, ViAddr userHandle);

#pragma GCC visibility push(default)
ViStatus viQueryf(ViSession vi, ViConstString writeFmt, ViConstString readFmt, ...);
ViStatus viVQueryf(ViSession vi, ViConstString writeFmt, ViConstString readFmt, va_list params);
ViStatus viBufRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);
ViStatus viBufWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);

ViStatus viParseRsrc(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType, ViPUInt16 intfNum);
ViStatus viParseRsrcEx(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                       ViPUInt16 intfNum, ViChar rsrcClass[], ViChar expandedUnaliasedName[],
                       ViChar aliasIfExists[]);
ViStatus viFindRsrc(ViSession sesn, ViConstString expr, ViPFindList vi, ViPUInt32 retCnt,
                    ViChar desc[]);
ViStatus viFindNext(ViFindList vi, ViChar desc[]);

ViStatus viReadAsync(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPJobId jobId);
ViStatus viWriteAsync(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPJobId jobId);
ViStatus viTerminate(ViObject vi, ViUInt16 degree, ViJobId jobId);
ViStatus viEnableEvent(ViSession vi, ViEventType eventType, ViUInt16 mechanism,
                       ViEventFilter context);
ViStatus viDisableEvent(ViSession vi, ViEventType eventType, ViUInt16 mechanism);
ViStatus viDiscardEvents(ViSession vi, ViEventType eventType, ViUInt16 mechanism);
ViStatus viWaitOnEvent(ViSession vi, ViEventType inEventType, ViUInt32 timeout,
                       ViPEventType outEventType, ViPEvent outContext);
ViStatus viInstallHandler(ViSession vi, ViEventType eventType, ViHndlr handler, ViAddr userHandle);
ViStatus viUninstallHandler(ViSession vi, ViEventType eventType, ViHndlr handler,
                            ViAddr userHandle);
ViStatus viGpibControlREN(ViSession vi, ViUInt16 mode);
ViStatus viGpibControlATN(ViSession vi, ViUInt16 mode);
ViStatus viGpibSendIFC(ViSession vi);
ViStatus viGpibCommand(ViSession vi, ViConstBuf cmd, ViUInt32 cnt, ViPUInt32 retCnt);
ViStatus viGpibPassControl(ViSession vi, ViUInt16 primAddr, ViUInt16 secAddr);
ViStatus viAssertUtilSignal(ViSession vi, ViUInt16 line);
ViStatus viAssertIntrSignal(ViSession vi, ViInt16 mode, ViUInt32 statusID);
ViStatus viReadToFile(ViSession vi, ViConstString filename, ViUInt32 cnt, ViPUInt32 retCnt);
ViStatus viWriteFromFile(ViSession vi, ViConstString filename, ViUInt32 cnt, ViPUInt32 retCnt);
#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif

#endif /* ZR48_PLATFORM_VISA_LIBRARY_OPERATIONS_H */
