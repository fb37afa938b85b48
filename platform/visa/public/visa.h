/* VISA's C interface as the I/O layer serves it: the operations, their types, and the status
 * codes and attributes they use, under VISA's standard names. The one source of these
 * declarations: the I/O layer compiles against it, and libzr48visa.so.1 installs it in a
 * directory of its own (compile with `pkg-config --cflags zr48visa`, link with -lzr48visa).
 * Operations a resource's transport does not serve answer VI_ERROR_NSUP_OPER. */
#ifndef __VISA_HEADER__
#define __VISA_HEADER__

#include <stdarg.h>

#include "visatype.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Completion and error codes --------------------------------------------------------- */
#define VI_SUCCESS_EVENT_EN 0x3FFF0002L
#define VI_SUCCESS_EVENT_DIS 0x3FFF0003L
#define VI_SUCCESS_QUEUE_EMPTY 0x3FFF0004L
#define VI_SUCCESS_TERM_CHAR 0x3FFF0005L
#define VI_SUCCESS_MAX_CNT 0x3FFF0006L
#define VI_SUCCESS_DEV_NPRESENT 0x3FFF007DL
#define VI_SUCCESS_NESTED_SHARED 0x3FFF0099L
#define VI_SUCCESS_NESTED_EXCLUSIVE 0x3FFF009AL
#define VI_WARN_CONFIG_NLOADED 0x3FFF0077L
#define VI_WARN_NULL_OBJECT 0x3FFF0082L
#define VI_WARN_NSUP_ATTR_STATE 0x3FFF0084L
#define VI_WARN_UNKNOWN_STATUS 0x3FFF0085L
#define VI_WARN_NSUP_BUF 0x3FFF0088L

#define VI_ERROR_SYSTEM_ERROR (_VI_ERROR + 0x3FFF0000L)
#define VI_ERROR_INV_OBJECT (_VI_ERROR + 0x3FFF000EL)
#define VI_ERROR_INV_SESSION VI_ERROR_INV_OBJECT
#define VI_ERROR_RSRC_LOCKED (_VI_ERROR + 0x3FFF000FL)
#define VI_ERROR_INV_EXPR (_VI_ERROR + 0x3FFF0010L)
#define VI_ERROR_RSRC_NFOUND (_VI_ERROR + 0x3FFF0011L)
#define VI_ERROR_INV_RSRC_NAME (_VI_ERROR + 0x3FFF0012L)
#define VI_ERROR_INV_ACC_MODE (_VI_ERROR + 0x3FFF0013L)
#define VI_ERROR_TMO (_VI_ERROR + 0x3FFF0015L)
#define VI_ERROR_CLOSING_FAILED (_VI_ERROR + 0x3FFF0016L)
#define VI_ERROR_NSUP_ATTR (_VI_ERROR + 0x3FFF001DL)
#define VI_ERROR_NSUP_ATTR_STATE (_VI_ERROR + 0x3FFF001EL)
#define VI_ERROR_ATTR_READONLY (_VI_ERROR + 0x3FFF001FL)
#define VI_ERROR_INV_LOCK_TYPE (_VI_ERROR + 0x3FFF0020L)
#define VI_ERROR_INV_ACCESS_KEY (_VI_ERROR + 0x3FFF0021L)
#define VI_ERROR_INV_EVENT (_VI_ERROR + 0x3FFF0026L)
#define VI_ERROR_HNDLR_NINSTALLED (_VI_ERROR + 0x3FFF0028L)
#define VI_ERROR_ABORT (_VI_ERROR + 0x3FFF0030L)
#define VI_ERROR_ALLOC (_VI_ERROR + 0x3FFF003CL)
#define VI_ERROR_INV_MASK (_VI_ERROR + 0x3FFF003DL)
#define VI_ERROR_IO (_VI_ERROR + 0x3FFF003EL)
#define VI_ERROR_INV_FMT (_VI_ERROR + 0x3FFF003FL)
#define VI_ERROR_NSUP_FMT (_VI_ERROR + 0x3FFF0041L)
#define VI_ERROR_NSUP_OPER (_VI_ERROR + 0x3FFF0067L)
#define VI_ERROR_USER_BUF (_VI_ERROR + 0x3FFF0071L)
#define VI_ERROR_RSRC_BUSY (_VI_ERROR + 0x3FFF0072L)
#define VI_ERROR_INV_PARAMETER (_VI_ERROR + 0x3FFF0078L)
#define VI_ERROR_INV_PROT (_VI_ERROR + 0x3FFF0079L)
#define VI_ERROR_WINDOW_MAPPED (_VI_ERROR + 0x3FFF0080L)
#define VI_ERROR_INV_LENGTH (_VI_ERROR + 0x3FFF0083L)
#define VI_ERROR_INV_MODE (_VI_ERROR + 0x3FFF0091L)
#define VI_ERROR_CONN_LOST (_VI_ERROR + 0x3FFF00A6L)
#define VI_ERROR_MACHINE_NAVAIL (_VI_ERROR + 0x3FFF00A7L)
#define VI_ERROR_SESN_NLOCKED (_VI_ERROR + 0x3FFF009CL)
#define VI_ERROR_NPERMISSION (_VI_ERROR + 0x3FFF00A8L)

/* ---- Attributes ------------------------------------------------------------------------- */
#define VI_ATTR_RSRC_CLASS 0xBFFF0001UL
#define VI_ATTR_RSRC_NAME 0xBFFF0002UL
#define VI_ATTR_RSRC_LOCK_STATE 0x3FFF0004UL
#define VI_ATTR_SEND_END_EN 0x3FFF0016UL
#define VI_ATTR_TERMCHAR 0x3FFF0018UL
#define VI_ATTR_TMO_VALUE 0x3FFF001AUL
#define VI_ATTR_IO_PROT 0x3FFF001CUL
#define VI_ATTR_RD_BUF_OPER_MODE 0x3FFF002AUL
#define VI_ATTR_RD_BUF_SIZE 0x3FFF002BUL
#define VI_ATTR_WR_BUF_OPER_MODE 0x3FFF002DUL
#define VI_ATTR_WR_BUF_SIZE 0x3FFF002EUL
#define VI_ATTR_SUPPRESS_END_EN 0x3FFF0036UL
#define VI_ATTR_TERMCHAR_EN 0x3FFF0038UL
#define VI_ATTR_INTF_TYPE 0x3FFF0171UL
#define VI_ATTR_INTF_NUM 0x3FFF0176UL
#define VI_ATTR_TCPIP_ADDR 0xBFFF0195UL
#define VI_ATTR_TCPIP_HOSTNAME 0xBFFF0196UL
#define VI_ATTR_TCPIP_PORT 0x3FFF0197UL
#define VI_ATTR_TCPIP_DEVICE_NAME 0xBFFF0199UL
#define VI_ATTR_TCPIP_NODELAY 0x3FFF019AUL
#define VI_ATTR_TCPIP_KEEPALIVE 0x3FFF019BUL
#define VI_ATTR_TCPIP_HISLIP_OVERLAP_EN 0x3FFF0300UL
#define VI_ATTR_TCPIP_HISLIP_VERSION 0x3FFF0301UL
#define VI_ATTR_TCPIP_HISLIP_MAX_MESSAGE_KB 0x3FFF0302UL
#define VI_ATTR_TCPIP_IS_HISLIP 0x3FFF0303UL

#define VI_ATTR_ASRL_BAUD 0x3FFF0021UL
#define VI_ATTR_ASRL_DATA_BITS 0x3FFF0022UL
#define VI_ATTR_ASRL_PARITY 0x3FFF0023UL
#define VI_ATTR_ASRL_STOP_BITS 0x3FFF0024UL
#define VI_ATTR_ASRL_FLOW_CNTRL 0x3FFF0025UL
#define VI_ATTR_ASRL_AVAIL_NUM 0x3FFF00ACUL
#define VI_ATTR_ASRL_CTS_STATE 0x3FFF00AEUL
#define VI_ATTR_ASRL_DCD_STATE 0x3FFF00AFUL
#define VI_ATTR_ASRL_DISCARD_NULL 0x3FFF00B0UL
#define VI_ATTR_ASRL_DSR_STATE 0x3FFF00B1UL
#define VI_ATTR_ASRL_DTR_STATE 0x3FFF00B2UL
#define VI_ATTR_ASRL_END_IN 0x3FFF00B3UL
#define VI_ATTR_ASRL_END_OUT 0x3FFF00B4UL
#define VI_ATTR_ASRL_REPLACE_CHAR 0x3FFF00BEUL
#define VI_ATTR_ASRL_RI_STATE 0x3FFF00BFUL
#define VI_ATTR_ASRL_RTS_STATE 0x3FFF00C0UL
#define VI_ATTR_ASRL_XON_CHAR 0x3FFF00C1UL
#define VI_ATTR_ASRL_XOFF_CHAR 0x3FFF00C2UL
#define VI_ATTR_ASRL_BREAK_STATE 0x3FFF01BCUL
#define VI_ATTR_ASRL_BREAK_LEN 0x3FFF01BDUL
#define VI_ATTR_ASRL_ALLOW_TRANSMIT 0x3FFF01BEUL

#define VI_ASRL_PAR_NONE 0
#define VI_ASRL_PAR_ODD 1
#define VI_ASRL_PAR_EVEN 2
#define VI_ASRL_PAR_MARK 3
#define VI_ASRL_PAR_SPACE 4
#define VI_ASRL_STOP_ONE 10
#define VI_ASRL_STOP_ONE5 15
#define VI_ASRL_STOP_TWO 20
#define VI_ASRL_FLOW_NONE 0
#define VI_ASRL_FLOW_XON_XOFF 1
#define VI_ASRL_FLOW_RTS_CTS 2
#define VI_ASRL_FLOW_DTR_DSR 4
#define VI_ASRL_END_NONE 0
#define VI_ASRL_END_LAST_BIT 1
#define VI_ASRL_END_TERMCHAR 2
#define VI_ASRL_END_BREAK 3
#define VI_STATE_ASSERTED 1
#define VI_STATE_UNASSERTED 0
#define VI_STATE_UNKNOWN (-1)
#define VI_INTF_ASRL 4

#define VI_TMO_IMMEDIATE 0L
#define VI_TMO_INFINITE 0xFFFFFFFFUL
#define VI_INTF_TCPIP 6
#define VI_TRIG_PROT_DEFAULT 0
#define VI_PROT_NORMAL 1
#define VI_PROT_FDC 2
#define VI_PROT_HS488 3
#define VI_PROT_4882_STRS 4
#define VI_PROT_USBTMC_VENDOR 5

#define VI_NO_LOCK 0
#define VI_EXCLUSIVE_LOCK 1
#define VI_SHARED_LOCK 2
#define VI_LOAD_CONFIG 4

/* ---- Buffers ---------------------------------------------------------------------------- */
#define VI_READ_BUF 1
#define VI_WRITE_BUF 2
#define VI_READ_BUF_DISCARD 4
#define VI_WRITE_BUF_DISCARD 8
#define VI_IO_IN_BUF 16
#define VI_IO_OUT_BUF 32
#define VI_IO_IN_BUF_DISCARD 64
#define VI_IO_OUT_BUF_DISCARD 128

#define VI_FLUSH_ON_ACCESS 1
#define VI_FLUSH_WHEN_FULL 2
#define VI_FLUSH_DISABLE 3

#define VI_FIND_BUFLEN 256

/* ---- Events and asynchronous I/O -------------------------------------------------------- */
#define VI_WARN_QUEUE_OVERFLOW 0x3FFF000CL
#define VI_SUCCESS_QUEUE_NEMPTY 0x3FFF0080L
#define VI_SUCCESS_NCHAIN 0x3FFF0098L
#define VI_SUCCESS_SYNC 0x3FFF009BL
#define VI_ERROR_INV_DEGREE (_VI_ERROR + 0x3FFF001BL)
#define VI_ERROR_INV_JOB_ID (_VI_ERROR + 0x3FFF001CL)
#define VI_ERROR_INV_MECH (_VI_ERROR + 0x3FFF0027L)
#define VI_ERROR_INV_HNDLR_REF (_VI_ERROR + 0x3FFF0029L)
#define VI_ERROR_INV_CONTEXT (_VI_ERROR + 0x3FFF002AL)
#define VI_ERROR_QUEUE_OVERFLOW (_VI_ERROR + 0x3FFF002DL)
#define VI_ERROR_NENABLED (_VI_ERROR + 0x3FFF002FL)
#define VI_ERROR_QUEUE_ERROR (_VI_ERROR + 0x3FFF003BL)
#define VI_ERROR_NSUP_MECH (_VI_ERROR + 0x3FFF00A4L)

#define VI_ATTR_MAX_QUEUE_LENGTH 0x3FFF0005UL
#define VI_ATTR_JOB_ID 0x3FFF4006UL
#define VI_ATTR_EVENT_TYPE 0x3FFF4010UL
#define VI_ATTR_STATUS 0x3FFF4025UL
#define VI_ATTR_RET_COUNT 0x3FFF4026UL
#define VI_ATTR_RET_COUNT_32 VI_ATTR_RET_COUNT
#define VI_ATTR_BUFFER 0x3FFF4027UL
#define VI_ATTR_RET_COUNT_64 0x3FFF4028UL
#define VI_ATTR_OPER_NAME 0xBFFF4042UL

#define VI_EVENT_IO_COMPLETION 0x3FFF2009UL
#define VI_EVENT_SERVICE_REQ 0x3FFF200BUL
#define VI_EVENT_EXCEPTION 0xBFFF200EUL
#define VI_ALL_ENABLED_EVENTS 0x3FFF7FFFUL

#define VI_QUEUE 1
#define VI_HNDLR 2
#define VI_SUSPEND_HNDLR 4
#define VI_ALL_MECH 0xFFFF

/* ---- Types of the operations below ----------------------------------------------------- */
typedef ViObject ViFindList;
typedef ViFindList* ViPFindList;
typedef ViUInt32 ViJobId;
typedef ViJobId* ViPJobId;
typedef ViEventType* ViPEventType;
typedef ViEvent* ViPEvent;
typedef ViUInt32 ViEventFilter;
typedef ViStatus (*ViHndlr)(ViSession vi, ViEventType eventType, ViEvent event, ViAddr userHandle);

/* ---- Operations ------------------------------------------------------------------------- */
/* Default visibility: libzr48visa exports them; libzr48's version script keeps them local. */
#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif
ViStatus viOpenDefaultRM(ViPSession vi);
ViStatus viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                ViPSession vi);
ViStatus viClose(ViObject vi);
ViStatus viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue);
ViStatus viGetAttribute(ViObject vi, ViAttr attrName, void* attrValue);
ViStatus viStatusDesc(ViObject vi, ViStatus status, ViChar desc[]);
ViStatus viSetBuf(ViSession vi, ViUInt16 mask, ViUInt32 size);
ViStatus viFlush(ViSession vi, ViUInt16 mask);
ViStatus viRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);
ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);
ViStatus viPrintf(ViSession vi, ViConstString writeFmt, ...);
ViStatus viVPrintf(ViSession vi, ViConstString writeFmt, va_list params);
ViStatus viScanf(ViSession vi, ViConstString readFmt, ...);
ViStatus viVScanf(ViSession vi, ViConstString readFmt, va_list params);

/* Finding resources and parsing their names. */
ViStatus viFindRsrc(ViSession sesn, ViConstString expr, ViPFindList vi, ViPUInt32 retCnt,
                    ViChar desc[]);
ViStatus viFindNext(ViFindList vi, ViChar desc[]);
ViStatus viParseRsrc(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType, ViPUInt16 intfNum);
ViStatus viParseRsrcEx(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                       ViPUInt16 intfNum, ViChar rsrcClass[], ViChar expandedUnaliasedName[],
                       ViChar aliasIfExists[]);

/* Optional operations: VI_ERROR_NSUP_OPER where the resource's transport lacks them. */
ViStatus viClear(ViSession vi);
ViStatus viReadSTB(ViSession vi, ViPUInt16 status);
ViStatus viAssertTrigger(ViSession vi, ViUInt16 protocol);
ViStatus viLock(ViSession vi, ViAccessMode lockType, ViUInt32 timeout, ViConstKeyId requestedKey,
                ViKeyId accessKey);
ViStatus viUnlock(ViSession vi);
/* Remote/local: the REN line and the device's remote state (viGpibControlREN modes). */
#define VI_GPIB_REN_DEASSERT 0
#define VI_GPIB_REN_ASSERT 1
#define VI_GPIB_REN_DEASSERT_GTL 2
#define VI_GPIB_REN_ASSERT_ADDRESS 3
#define VI_GPIB_REN_ASSERT_LLO 4
#define VI_GPIB_REN_ASSERT_ADDRESS_LLO 5
#define VI_GPIB_REN_ADDRESS_GTL 6
ViStatus viGpibControlREN(ViSession vi, ViUInt16 mode);

/* Queries, buffered I/O, asynchronous I/O, events, GPIB bus control, interrupts, files. */
ViStatus viQueryf(ViSession vi, ViConstString writeFmt, ViConstString readFmt, ...);
ViStatus viVQueryf(ViSession vi, ViConstString writeFmt, ViConstString readFmt, va_list params);
ViStatus viBufRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);
ViStatus viBufWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt);

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
ViStatus viGpibControlATN(ViSession vi, ViUInt16 mode);
ViStatus viGpibSendIFC(ViSession vi);
ViStatus viGpibCommand(ViSession vi, ViConstBuf cmd, ViUInt32 cnt, ViPUInt32 retCnt);
ViStatus viGpibPassControl(ViSession vi, ViUInt16 primAddr, ViUInt16 secAddr);
ViStatus viAssertUtilSignal(ViSession vi, ViUInt16 line);
ViStatus viAssertIntrSignal(ViSession vi, ViInt16 mode, ViUInt32 statusID);
ViStatus viReadToFile(ViSession vi, ViConstString filename, ViUInt32 cnt, ViPUInt32 retCnt);
ViStatus viWriteFromFile(ViSession vi, ViConstString filename, ViUInt32 cnt, ViPUInt32 retCnt);
#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#ifdef __cplusplus
}
#endif

#endif /* __VISA_HEADER__ */
