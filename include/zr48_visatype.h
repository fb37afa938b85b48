/* Base types of the VISA and IVI-C interfaces.
 *
 * Guarded with the same macro as a vendor's visatype.h, so that either header may be
 * included first without clashing: whichever comes first defines the types, the other is
 * skipped. The definitions match the 64-bit Linux ABI of VISA. */
#ifndef __VISATYPE_HEADER__
#define __VISATYPE_HEADER__

#define _VI_FAR
#define _VI_FUNC
#define _VI_FUNCC
#define _VI_FUNCH
#define _VI_SIGNED signed
#define _VI_ERROR (-2147483647L - 1)
#define _VI_PTR *

#define _VI_INT64_UINT64_DEFINED
typedef unsigned long long ViUInt64;
typedef _VI_SIGNED long long ViInt64;
typedef ViUInt64* ViPUInt64;
typedef ViInt64* ViPInt64;

typedef unsigned int ViUInt32;
typedef _VI_SIGNED int ViInt32;
typedef ViUInt32* ViPUInt32;
typedef ViInt32* ViPInt32;
typedef unsigned short ViUInt16;
typedef _VI_SIGNED short ViInt16;
typedef ViUInt16* ViPUInt16;
typedef ViInt16* ViPInt16;
typedef unsigned char ViUInt8;
typedef _VI_SIGNED char ViInt8;
typedef ViUInt8* ViPUInt8;
typedef ViInt8* ViPInt8;
typedef char ViChar;
typedef ViChar* ViPChar;
typedef unsigned char ViByte;
typedef ViByte* ViPByte;
typedef void* ViAddr;
typedef ViAddr* ViPAddr;
typedef float ViReal32;
typedef double ViReal64;
typedef ViReal32* ViPReal32;
typedef ViReal64* ViPReal64;
typedef ViPByte ViBuf;
typedef const ViByte* ViConstBuf;
typedef ViPByte ViPBuf;
typedef ViPChar ViString;
typedef const ViChar* ViConstString;
typedef ViString ViRsrc;
typedef ViConstString ViConstRsrc;
typedef ViUInt16 ViBoolean;
typedef ViBoolean* ViPBoolean;
typedef ViInt32 ViStatus;
typedef ViStatus* ViPStatus;
typedef ViUInt32 ViVersion;
typedef ViVersion* ViPVersion;
typedef ViUInt32 ViObject;
typedef ViObject* ViPObject;
typedef ViObject ViSession;
typedef ViSession* ViPSession;
typedef ViUInt32 ViAttr;
typedef ViString ViKeyId;
typedef ViConstString ViConstKeyId;
typedef ViUInt32 ViAccessMode;
typedef ViAccessMode* ViPAccessMode;
typedef ViUInt64 ViAttrState;
typedef ViUInt32 ViEventType;
typedef ViObject ViEvent;

#define VI_NULL 0
#define VI_TRUE 1
#define VI_FALSE 0
#define VI_SUCCESS 0L

#endif /* __VISATYPE_HEADER__ */
