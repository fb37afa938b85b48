/* ZR48: IVI-C specific driver for the seven-channel programmable DC power supply
 * (IviDCPwr class: IviDCPwrBase, IviDCPwrTrigger, IviDCPwrSoftwareTrigger,
 * IviDCPwrMeasurement).
 *
 * Every function returns a ViStatus: VI_SUCCESS (0) or a negative error; only
 * ZR48_GetError and ZR48_GetChannelName return a positive required buffer size, and the
 * one-call pass-through functions return the engine's status unchanged. Text values travel
 * unchanged: a caller's string is inserted as it stands into the SCPI command, and replies
 * are handed back as text. Compiles as C99 and as C++. */
#ifndef ZR48_HEADER
#define ZR48_HEADER

#include "zr48_status.h"
#include "zr48_visatype.h"

#if defined(__GNUC__)
#define ZR48_API __attribute__((visibility("default")))
#else
#define ZR48_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Versions ---------------------------------------------------------------------------- */
#define ZR48_MAJOR_VERSION 1
#define ZR48_MINOR_VERSION 0
#define ZR48_CLASS_SPEC_MAJOR_VERSION 2
#define ZR48_CLASS_SPEC_MINOR_VERSION 0

/* ---- Attributes ---------------------------------------------------------------------------- */
/* Inherent attributes kept by the engine. */
#define ZR48_ATTR_RANGE_CHECK 1050002L
#define ZR48_ATTR_QUERY_INSTRUMENT_STATUS 1050003L
#define ZR48_ATTR_CACHE 1050004L
#define ZR48_ATTR_SIMULATE 1050005L
#define ZR48_ATTR_RECORD_COERCIONS 1050006L
#define ZR48_ATTR_DRIVER_SETUP 1050007L
#define ZR48_ATTR_INTERCHANGE_CHECK 1050021L
#define ZR48_ATTR_CHANNEL_COUNT 1050203L
#define ZR48_ATTR_SPECIFIC_DRIVER_PREFIX 1050302L
#define ZR48_ATTR_IO_RESOURCE_DESCRIPTOR 1050304L
#define ZR48_ATTR_LOGICAL_NAME 1050305L
#define ZR48_ATTR_SUPPORTED_INSTRUMENT_MODELS 1050327L
#define ZR48_ATTR_GROUP_CAPABILITIES 1050401L
#define ZR48_ATTR_INSTRUMENT_FIRMWARE_REVISION 1050510L
#define ZR48_ATTR_INSTRUMENT_MANUFACTURER 1050511L
#define ZR48_ATTR_INSTRUMENT_MODEL 1050512L
#define ZR48_ATTR_SPECIFIC_DRIVER_VENDOR 1050513L
#define ZR48_ATTR_SPECIFIC_DRIVER_DESCRIPTION 1050514L
#define ZR48_ATTR_SPECIFIC_DRIVER_CLASS_SPEC_MAJOR_VERSION 1050515L
#define ZR48_ATTR_SPECIFIC_DRIVER_CLASS_SPEC_MINOR_VERSION 1050516L
#define ZR48_ATTR_SPECIFIC_DRIVER_REVISION 1050551L

/* IviDCPwr class attributes: one cached value per channel, no instrument I/O. */
#define ZR48_ATTR_VOLTAGE_LEVEL 1250001L
#define ZR48_ATTR_OVP_ENABLED 1250002L
#define ZR48_ATTR_OVP_LIMIT 1250003L
#define ZR48_ATTR_CURRENT_LIMIT_BEHAVIOR 1250004L
#define ZR48_ATTR_CURRENT_LIMIT 1250005L
#define ZR48_ATTR_OUTPUT_ENABLED 1250006L
#define ZR48_ATTR_TRIGGER_SOURCE 1250101L
#define ZR48_ATTR_TRIGGERED_CURRENT_LIMIT 1250102L
#define ZR48_ATTR_TRIGGERED_VOLTAGE_LEVEL 1250103L

/* The instrument's identification text ("*IDN?"); not user-writable. */
#define ZR48_ATTR_ID_QUERY_RESPONSE 1150001L
/* SCPI-backed string attributes: IEEE 488.2 common commands and SYST (instrument-wide). */
#define ZR48_ATTR_CLS 1150002L
#define ZR48_ATTR_ESE 1150003L
#define ZR48_ATTR_ESR 1150004L
#define ZR48_ATTR_IDN 1150005L
#define ZR48_ATTR_OPC 1150006L
#define ZR48_ATTR_PSC 1150007L
#define ZR48_ATTR_RST 1150008L
#define ZR48_ATTR_SRE 1150009L
#define ZR48_ATTR_STB 1150010L
#define ZR48_ATTR_TRG 1150011L
#define ZR48_ATTR_SAV 1150012L
#define ZR48_ATTR_RCL 1150013L
#define ZR48_ATTR_TST 1150014L
#define ZR48_ATTR_WAI 1150015L
#define ZR48_ATTR_SYST_VERS 1150016L
#define ZR48_ATTR_SYST_REM 1150017L
#define ZR48_ATTR_SYST_LOC 1150018L
#define ZR48_ATTR_SYST_RWL 1150019L
#define ZR48_ATTR_SYST_GPIB_ADDR 1150020L
#define ZR48_ATTR_SYST_MODU 1150021L
#define ZR48_ATTR_SYST_BEEP 1150022L
/* SCPI status registers (instrument-wide). */
#define ZR48_ATTR_STAT_QUES 1150023L
#define ZR48_ATTR_STAT_QUES_COND 1150024L
#define ZR48_ATTR_STAT_QUES_ENAB 1150025L
#define ZR48_ATTR_STAT_PRES 1150026L
#define ZR48_ATTR_STAT_QUES_INST 1150027L
#define ZR48_ATTR_STAT_QUES_INST_ENAB 1150028L
#define ZR48_ATTR_STAT_QUES_INST_ISUM1 1150029L
#define ZR48_ATTR_STAT_QUES_INST_ISUM1_ENAB 1150030L
#define ZR48_ATTR_STAT_QUES_INST_ISUM1_COND 1150031L
#define ZR48_ATTR_STAT_QUES_INST_ISUM2 1150032L
#define ZR48_ATTR_STAT_QUES_INST_ISUM2_ENAB 1150033L
#define ZR48_ATTR_STAT_QUES_INST_ISUM2_COND 1150034L
#define ZR48_ATTR_STAT_QUES_INST_ISUM3 1150035L
#define ZR48_ATTR_STAT_QUES_INST_ISUM3_ENAB 1150036L
#define ZR48_ATTR_STAT_QUES_INST_ISUM3_COND 1150037L
#define ZR48_ATTR_STAT_OPER 1150038L
#define ZR48_ATTR_STAT_OPER_COND 1150039L
#define ZR48_ATTR_STAT_OPER_ENAB 1150040L
#define ZR48_ATTR_STAT_OPER_INST 1150041L
#define ZR48_ATTR_STAT_OPER_INST_ENAB 1150042L
#define ZR48_ATTR_STAT_OPER_INST_ISUM1 1150043L
#define ZR48_ATTR_STAT_OPER_INST_ISUM1_ENAB 1150044L
#define ZR48_ATTR_STAT_OPER_INST_ISUM1_COND 1150045L
#define ZR48_ATTR_STAT_OPER_INST_ISUM2 1150046L
#define ZR48_ATTR_STAT_OPER_INST_ISUM2_ENAB 1150047L
#define ZR48_ATTR_STAT_OPER_INST_ISUM2_COND 1150048L
#define ZR48_ATTR_STAT_OPER_INST_ISUM3 1150049L
#define ZR48_ATTR_STAT_OPER_INST_ISUM3_ENAB 1150050L
#define ZR48_ATTR_STAT_OPER_INST_ISUM3_COND 1150051L
/* Per-channel OUTP settings (a channel name is required). */
#define ZR48_ATTR_OUTP 1150052L
#define ZR48_ATTR_OUTP_TIM 1150053L
#define ZR48_ATTR_OUTP_TIM_DATA 1150054L
#define ZR48_ATTR_OUTP_TRAC 1150055L
#define ZR48_ATTR_OUTP_SER 1150056L
#define ZR48_ATTR_OUTP_PAR 1150057L
#define ZR48_ATTR_OUTP_CHAN 1150058L

/* ---- Values ------------------------------------------------------------------------------ */
#define ZR48_VAL_CURRENT_REGULATE 0
#define ZR48_VAL_CURRENT_TRIP 1

#define ZR48_VAL_TRIG_IMMEDIATE 0
#define ZR48_VAL_TRIG_EXTERNAL 1
#define ZR48_VAL_SOFTWARE_TRIG 2
#define ZR48_VAL_TRIG_TTL0 3
#define ZR48_VAL_TRIG_TTL1 4
#define ZR48_VAL_TRIG_TTL2 5
#define ZR48_VAL_TRIG_TTL3 6
#define ZR48_VAL_TRIG_TTL4 7
#define ZR48_VAL_TRIG_TTL5 8
#define ZR48_VAL_TRIG_TTL6 9
#define ZR48_VAL_TRIG_TTL7 10
#define ZR48_VAL_TRIG_ECL0 11
#define ZR48_VAL_TRIG_ECL1 12
#define ZR48_VAL_TRIG_PXI_STAR 13
#define ZR48_VAL_TRIG_RTSI_0 14
#define ZR48_VAL_TRIG_RTSI_1 15
#define ZR48_VAL_TRIG_RTSI_2 16
#define ZR48_VAL_TRIG_RTSI_3 17
#define ZR48_VAL_TRIG_RTSI_4 18
#define ZR48_VAL_TRIG_RTSI_5 19
#define ZR48_VAL_TRIG_RTSI_6 20

#define ZR48_VAL_MEASURE_CURRENT 0
#define ZR48_VAL_MEASURE_VOLTAGE 1

#define ZR48_VAL_OUTPUT_CONSTANT_VOLTAGE 0
#define ZR48_VAL_OUTPUT_CONSTANT_CURRENT 1
#define ZR48_VAL_OUTPUT_OVER_VOLTAGE 2
#define ZR48_VAL_OUTPUT_OVER_CURRENT 3
#define ZR48_VAL_OUTPUT_UNREGULATED 4

#define ZR48_VAL_RANGE_CURRENT 0
#define ZR48_VAL_RANGE_VOLTAGE 1

/* ---- Errors ------------------------------------------------------------------------------- */
/* "The trigger source is not software trigger." */
#define ZR48_ERROR_TRIGGER_NOT_SOFTWARE (-1074130943L)

/* ---- Initialize and close ------------------------------------------------------------------ */
/* Opens a session with the supply named by a VISA resource descriptor or a logical name;
 * IDQuery checks the identification, resetDevice sends "*RST" first. */
ZR48_API ViStatus ZR48_init(ViRsrc resourceName, ViBoolean IDQuery, ViBoolean resetDevice,
                            ViSession* newVi);
/* As ZR48_init, with an IVI option string ("Simulate=1, RangeCheck=0, DriverSetup=..."). */
ZR48_API ViStatus ZR48_InitWithOptions(ViRsrc resourceName, ViBoolean IDQuery,
                                       ViBoolean resetDevice, ViConstString optionString,
                                       ViSession* newVi);
/* Closes the I/O session and disposes of the driver session; sends nothing. */
ZR48_API ViStatus ZR48_close(ViSession vi);

/* ---- Utility ------------------------------------------------------------------------------ */
/* Sends "*RST" and forgets every cached attribute value. */
ZR48_API ViStatus ZR48_reset(ViSession vi);
/* ZR48_reset, then the logical name's default set-up. */
ZR48_API ViStatus ZR48_ResetWithDefaults(ViSession vi);
/* Takes and releases the session lock; changes nothing. */
ZR48_API ViStatus ZR48_Disable(ViSession vi);
/* Sends "*TST?"; testResult 0 is a pass. A reply with a message ("<code>,\"<text>\"") runs the
 * test again and takes code and text from it; testMessage must hold 256 bytes. */
ZR48_API ViStatus ZR48_self_test(ViSession vi, ViInt16* testResult, ViChar testMessage[]);
/* Driver and firmware revision texts; each buffer must hold 256 bytes. */
ZR48_API ViStatus ZR48_revision_query(ViSession vi, ViChar driverRev[], ViChar instrRev[]);
/* Sends ":SYST:ERR?"; errMessage (256 bytes) gets the reply as received, cut to 255 characters,
 * errCode its leading number, or VI_ERROR_INV_RESPONSE (0xBFFC0012) when it starts with none. */
ZR48_API ViStatus ZR48_error_query(ViSession vi, ViInt32* errCode, ViChar errMessage[]);
/* Text of a status code; vi may be VI_NULL. */
ZR48_API ViStatus ZR48_error_message(ViSession vi, ViStatus errorCode, ViChar errorMessage[256]);
/* Returns and clears the error information (the calling thread's with VI_NULL); bufferSize 0
 * returns the required size and clears nothing. */
ZR48_API ViStatus ZR48_GetError(ViSession vi, ViStatus* errorCode, ViInt32 bufferSize,
                                ViChar description[]);
ZR48_API ViStatus ZR48_ClearError(ViSession vi);
ZR48_API ViStatus ZR48_GetNextCoercionRecord(ViSession vi, ViInt32 bufferSize,
                                             ViChar coercionRecord[]);
ZR48_API ViStatus ZR48_GetNextInterchangeWarning(ViSession vi, ViInt32 bufferSize,
                                                 ViChar interchangeWarning[]);
ZR48_API ViStatus ZR48_ClearInterchangeWarnings(ViSession vi);
ZR48_API ViStatus ZR48_ResetInterchangeCheck(ViSession vi);
/* The session's nestable lock, held across several calls. */
ZR48_API ViStatus ZR48_LockSession(ViSession vi, ViBoolean* callerHasLock);
ZR48_API ViStatus ZR48_UnlockSession(ViSession vi, ViBoolean* callerHasLock);
ZR48_API ViStatus ZR48_InvalidateAllAttributes(ViSession vi);
/* Name of the channel at a 1-based index ("ch1" .. "ch7", or its virtual name). */
ZR48_API ViStatus ZR48_GetChannelName(ViSession vi, ViInt32 index, ViInt32 bufferSize,
                                      ViChar name[]);

/* ---- Raw I/O ------------------------------------------------------------------------------ */
/* Sends inputStr and a line feed. */
ZR48_API ViStatus ZR48_WriteCmd(ViSession instrumentHandle, ViConstString inputStr);
/* Sends inputStr and a line feed; reChar (512 bytes) gets the raw reply, line feed included. */
ZR48_API ViStatus ZR48_ReadCmd(ViSession instrumentHandle, ViConstString inputStr, ViChar reChar[]);
ZR48_API ViStatus ZR48_WriteInstrData(ViSession vi, ViConstString writeBuffer);
ZR48_API ViStatus ZR48_ReadInstrData(ViSession vi, ViInt32 numBytes, ViChar rdBuf[],
                                     ViInt32* bytesRead);

/* ---- Attribute accessors ------------------------------------------------------------------- */
ZR48_API ViStatus ZR48_GetAttributeViInt32(ViSession vi, ViConstString channelName,
                                           ViAttr attributeId, ViInt32* value);
ZR48_API ViStatus ZR48_GetAttributeViReal64(ViSession vi, ViConstString channelName,
                                            ViAttr attributeId, ViReal64* value);
ZR48_API ViStatus ZR48_GetAttributeViString(ViSession vi, ViConstString channelName,
                                            ViAttr attributeId, ViInt32 bufSize, ViChar value[]);
ZR48_API ViStatus ZR48_GetAttributeViBoolean(ViSession vi, ViConstString channelName,
                                             ViAttr attributeId, ViBoolean* value);
ZR48_API ViStatus ZR48_GetAttributeViSession(ViSession vi, ViConstString channelName,
                                             ViAttr attributeId, ViSession* value);
ZR48_API ViStatus ZR48_SetAttributeViInt32(ViSession vi, ViConstString channelName,
                                           ViAttr attributeId, ViInt32 value);
ZR48_API ViStatus ZR48_SetAttributeViReal64(ViSession vi, ViConstString channelName,
                                            ViAttr attributeId, ViReal64 value);
ZR48_API ViStatus ZR48_SetAttributeViString(ViSession vi, ViConstString channelName,
                                            ViAttr attributeId, ViConstString value);
ZR48_API ViStatus ZR48_SetAttributeViBoolean(ViSession vi, ViConstString channelName,
                                             ViAttr attributeId, ViBoolean value);
ZR48_API ViStatus ZR48_SetAttributeViSession(ViSession vi, ViConstString channelName,
                                             ViAttr attributeId, ViSession value);
ZR48_API ViStatus ZR48_CheckAttributeViInt32(ViSession vi, ViConstString channelName,
                                             ViAttr attributeId, ViInt32 value);
ZR48_API ViStatus ZR48_CheckAttributeViReal64(ViSession vi, ViConstString channelName,
                                              ViAttr attributeId, ViReal64 value);
ZR48_API ViStatus ZR48_CheckAttributeViString(ViSession vi, ViConstString channelName,
                                              ViAttr attributeId, ViConstString value);
ZR48_API ViStatus ZR48_CheckAttributeViBoolean(ViSession vi, ViConstString channelName,
                                               ViAttr attributeId, ViBoolean value);
ZR48_API ViStatus ZR48_CheckAttributeViSession(ViSession vi, ViConstString channelName,
                                               ViAttr attributeId, ViSession value);

/* ---- Instrument functions ------------------------------------------------------------------ */
/* Each runs as one locked exchange and returns VI_SUCCESS or the first negative status. A
 * reply word is cut at 511 characters: reChar must hold 512 bytes. A null text or buffer
 * is refused with IVI_ERROR_INVALID_PARAMETER (0xBFFA000F) before anything is sent. In a
 * simulated session nothing is sent and reChar is left untouched. */
/* Sends "INST <channel_name>", then "CURR <inputStr>". */
ZR48_API ViStatus ZR48_SetCurrent(ViSession instrumentHandle, ViConstString inputStr,
                                  ViConstString channel_name);
/* Sends "INST <channel_name>", then "CURR? <inputStr>"; reChar (512 bytes) gets the first word of
 * the reply. */
ZR48_API ViStatus ZR48_GetCurrent(ViSession instrumentHandle, ViConstString inputStr,
                                  ViChar reChar[], ViConstString channel_name);
/* Sends "INST <channel_name>", then "CURR:UP". */
ZR48_API ViStatus ZR48_SetCurrUp(ViSession instrumentHandle, ViConstString channel_name);
/* Sends "INST <channel_name>", then "CURR:DOWN". */
ZR48_API ViStatus ZR48_SetCurrDown(ViSession instrumentHandle, ViConstString channel_name);
/* Sends "INST <channel_name>", then "CURR:STEP <inputStr>". */
ZR48_API ViStatus ZR48_SetCurrStep(ViSession instrumentHandle, ViConstString inputStr,
                                   ViConstString channel_name);
/* Sends "INST <channel_name>", then "CURR:STEP? <inputStr>"; reChar (512 bytes) gets the first word
 * of the reply. */
ZR48_API ViStatus ZR48_GetCurrStep(ViSession instrumentHandle, ViConstString inputStr,
                                   ViChar reChar[], ViConstString channel_name);
/* Sends "INST <channel_name>", then "CURR:TRIG <inputStr>". */
ZR48_API ViStatus ZR48_SetCurrTrig(ViSession instrumentHandle, ViConstString inputStr,
                                   ViConstString channel_name);
/* Sends "INST <channel_name>", then "CURR:TRIG? <inputStr>"; reChar (512 bytes) gets the first word
 * of the reply. */
ZR48_API ViStatus ZR48_GetCurrTrig(ViSession instrumentHandle, ViChar reChar[],
                                   ViConstString inputStr, ViConstString channel_name);
/* Sends "INST <channel_name>", then "VOLT <inputStr>". */
ZR48_API ViStatus ZR48_SetVoltage(ViSession instrumentHandle, ViConstString inputStr,
                                  ViConstString channel_name);
/* Sends "INST <channel_name>", then "VOLT? <inputStr>"; reChar (512 bytes) gets the first word of
 * the reply. */
ZR48_API ViStatus ZR48_GetVoltage(ViSession instrumentHandle, ViConstString inputStr,
                                  ViChar reChar[], ViConstString channel_name);
/* Sends "INST <channel_name>", then "VOLT:UP". */
ZR48_API ViStatus ZR48_SetVoltUp(ViSession instrumentHandle, ViConstString channel_name);
/* Sends "INST <channel_name>", then "VOLT:DOWN". */
ZR48_API ViStatus ZR48_SetVoltDown(ViSession instrumentHandle, ViConstString channel_name);
/* Sends "INST <channel_name>", then "VOLT:STEP <inputStr>". */
ZR48_API ViStatus ZR48_SetVoltStep(ViSession instrumentHandle, ViConstString inputStr,
                                   ViConstString channel_name);
/* Sends "INST <channel_name>", then "VOLT:STEP? <inputStr>"; reChar (512 bytes) gets the first word
 * of the reply. */
ZR48_API ViStatus ZR48_GetVoltStep(ViSession instrumentHandle, ViConstString inputStr,
                                   ViChar reChar[], ViConstString channel_name);
/* Sends "INST <channel_name>", then "VOLT:TRIG <inputStr>". */
ZR48_API ViStatus ZR48_SetVoltTrig(ViSession instrumentHandle, ViConstString inputStr,
                                   ViConstString channel_name);
/* Sends "INST <channel_name>", then "VOLT:TRIG? <inputStr>"; reChar (512 bytes) gets the first word
 * of the reply. */
ZR48_API ViStatus ZR48_GetVoltTrig(ViSession instrumentHandle, ViConstString inputStr,
                                   ViChar reChar[], ViConstString channel_name);
/* Sends "INST <channel_name>", then "VOLT:PROT:STAT <inputStr>". */
ZR48_API ViStatus ZR48_SetVoltProtStat(ViSession instrumentHandle, ViConstString inputStr,
                                       ViConstString channel_name);
/* Sends "INST <channel_name>", then "VOLT:PROT:STAT?"; reChar (512 bytes) gets the first word of
 * the reply. */
ZR48_API ViStatus ZR48_GetVoltProtStat(ViSession instrumentHandle, ViChar reChar[],
                                       ViConstString channel_name);
/* Sends "INST <channel_name>", then "VOLT:PROT <inputStr>". */
ZR48_API ViStatus ZR48_SetVoltProt(ViSession instrumentHandle, ViConstString inputStr,
                                   ViConstString channel_name);
/* Sends "INST <channel_name>", then "VOLT:PROT? <inputStr>"; reChar (512 bytes) gets the first word
 * of the reply. */
ZR48_API ViStatus ZR48_GetVoltProt(ViSession instrumentHandle, ViConstString inputStr,
                                   ViChar reChar[], ViConstString channel_name);
/* Sends "INST <channel_name>", then "VOLT:PROT:TRIP?"; reChar (512 bytes) gets the first word of
 * the reply. */
ZR48_API ViStatus ZR48_GetVoltProtTrip(ViSession instrumentHandle, ViChar reChar[],
                                       ViConstString channel_name);
/* Sends "INST <channel_name>", then "VOLT:PROT:CLE". */
ZR48_API ViStatus ZR48_VoltProtClear(ViSession instrumentHandle, ViConstString channel_name);
/* Sends "INST <channel_name>", then "VOLT:LIMIT <inputStr>". */
ZR48_API ViStatus ZR48_SetVoltLimit(ViSession instrumentHandle, ViConstString inputStr,
                                    ViConstString channel_name);
/* Sends "INST <channel_name>", then "VOLT:LIMIT? <inputStr>"; reChar (512 bytes) gets the first
 * word of the reply. */
ZR48_API ViStatus ZR48_GetVoltLimit(ViSession instrumentHandle, ViConstString inputStr,
                                    ViChar reChar[], ViConstString channel_name);
/* Sends "INST <channel_name>", then "OUTP:ENAB <inputStr>". */
ZR48_API ViStatus ZR48_SetOutpEnab(ViSession instrumentHandle, ViConstString channel_name,
                                   ViConstString inputStr);
/* Sends "INST <channel_name>", then "OUTP:ENAB?"; reChar (512 bytes) gets the first word of the
 * reply. */
ZR48_API ViStatus ZR48_GetOutpEnab(ViSession instrumentHandle, ViConstString channel_name,
                                   ViChar reChar[]);
/* Sends "INST <channel_name>", then "VOLT:LIMIT:STAT <inputStr>". */
ZR48_API ViStatus ZR48_SetVoltLimitStat(ViSession instrumentHandle, ViConstString channel_name,
                                        ViConstString inputStr);
/* Sends "INST <channel_name>", then "VOLT:LIMIT:STAT?"; reChar (512 bytes) gets the first word of
 * the reply. */
ZR48_API ViStatus ZR48_GetVoltLimitStat(ViSession instrumentHandle, ViConstString channel_name,
                                        ViChar reChar[]);
/* Sends "DISP <inputStr>". */
ZR48_API ViStatus ZR48_SetDisplayStat(ViSession instrumentHandle, ViConstString inputStr);
/* Sends "DISP?"; reChar (512 bytes) gets the first word of the reply. */
ZR48_API ViStatus ZR48_GetDisplayStat(ViSession instrumentHandle, ViChar reChar[]);
/* Sends "DISP:TEXT <inputStr>". */
ZR48_API ViStatus ZR48_SetDisplayText(ViSession instrumentHandle, ViConstString inputStr);
/* Sends "DISP:TEXT?"; reChar (512 bytes) gets the first word of the reply. */
ZR48_API ViStatus ZR48_GetDisplayText(ViSession instrumentHandle, ViChar reChar[]);
/* Sends "DISP:TEXT:CLE". */
ZR48_API ViStatus ZR48_DisplayTextClear(ViSession instrumentHandle);
/* Sends "TRIG". */
ZR48_API ViStatus ZR48_SetTrig(ViSession instrumentHandle);
/* Sends "INST <inputStr>". */
ZR48_API ViStatus ZR48_SetChannel(ViSession instrumentHandle, ViConstString inputStr);
/* Sends "INST?"; reChar (512 bytes) gets the first word of the reply. */
ZR48_API ViStatus ZR48_GetChannel(ViSession instrumentHandle, ViChar reChar[]);
/* Sends "INST:NSEL <inputStr>". */
ZR48_API ViStatus ZR48_SetNumChannel(ViSession instrumentHandle, ViConstString inputStr);
/* Sends "INST:NSEL?"; reChar (512 bytes) gets the first word of the reply. */
ZR48_API ViStatus ZR48_GetNumChannel(ViSession instrumentHandle, ViChar reChar[]);
/* Sends "INST:COM:SER". */
ZR48_API ViStatus ZR48_SetComSeries(ViSession instrumentHandle);
/* Sends "INST:COM:PARA". */
ZR48_API ViStatus ZR48_SetComParall(ViSession instrumentHandle);
/* Sends "INST:COM:TRA". */
ZR48_API ViStatus ZR48_SetComTrack(ViSession instrumentHandle);
/* Sends "INST:COM:OFF". */
ZR48_API ViStatus ZR48_SetComOff(ViSession instrumentHandle);
/* Sends "INST:COUP <inputStr>". */
ZR48_API ViStatus ZR48_SetCouple(ViSession instrumentHandle, ViConstString inputStr);
/* Sends "INST:COUP?"; reChar (512 bytes) gets the first word of the reply. */
ZR48_API ViStatus ZR48_GetCouple(ViSession instrumentHandle, ViChar reChar[]);
/* Sends "APPLY <inputStr>". */
ZR48_API ViStatus ZR48_SetApply(ViSession instrumentHandle, ViConstString inputStr);
/* Sends "APPLY? <inputStr>"; reChar (512 bytes) gets the raw reply, line feed included. */
ZR48_API ViStatus ZR48_GetApply(ViSession instrumentHandle, ViConstString inputStr,
                                ViChar reChar[]);
/* Sends "INST <channel_name>", then "MEAS:VOLT?"; reChar (512 bytes) gets the first word of the
 * reply. */
ZR48_API ViStatus ZR48_MeasVolt(ViSession instrumentHandle, ViChar reChar[],
                                ViConstString channel_name);
/* Sends "INST <channel_name>", then "MEAS:CURR?"; reChar (512 bytes) gets the first word of the
 * reply. */
ZR48_API ViStatus ZR48_MeasCurr(ViSession instrumentHandle, ViChar reChar[],
                                ViConstString channel_name);
/* Sends "INST <channel_name>", then "MEAS:POW?"; reChar (512 bytes) gets the first word of the
 * reply. */
ZR48_API ViStatus ZR48_MeasPow(ViSession instrumentHandle, ViChar reChar[],
                               ViConstString channel_name);
/* Sends "INST <channel_name>", then "FETCH:VOLT?"; reChar (512 bytes) gets the first word of the
 * reply. */
ZR48_API ViStatus ZR48_FetchVolt(ViSession instrumentHandle, ViChar reChar[],
                                 ViConstString channel_name);
/* Sends "INST <channel_name>", then "FETCH:CURR?"; reChar (512 bytes) gets the first word of the
 * reply. */
ZR48_API ViStatus ZR48_FetchCurr(ViSession instrumentHandle, ViChar reChar[],
                                 ViConstString channel_name);
/* Sends "INST <channel_name>", then "FETCH:POW?"; reChar (512 bytes) gets the first word of the
 * reply. */
ZR48_API ViStatus ZR48_FetchPow(ViSession instrumentHandle, ViChar reChar[],
                                ViConstString channel_name);
/* Sends "CAL:SEC <inputStr>". */
ZR48_API ViStatus ZR48_SetCalSec(ViSession instrumentHandle, ViConstString inputStr);
/* Sends "CAL:SEC?"; reChar (512 bytes) gets the first word of the reply. */
ZR48_API ViStatus ZR48_GetCalSec(ViSession instrumentHandle, ViChar reChar[]);
/* Sends "CAL:VOLT:LEV <inputStr>". */
ZR48_API ViStatus ZR48_SetCalVoltPoint(ViSession instrumentHandle, ViConstString inputStr);
/* Sends "CAL:VOLT <inputStr>". */
ZR48_API ViStatus ZR48_SetCalVolt(ViSession instrumentHandle, ViConstString inputStr);
/* Sends "CAL:CURR:LEV <inputStr>". */
ZR48_API ViStatus ZR48_SetCalCurrPoint(ViSession instrumentHandle, ViConstString inputStr);
/* Sends "CAL:CURR <inputStr>". */
ZR48_API ViStatus ZR48_SetCalCurr(ViSession instrumentHandle, ViConstString inputStr);
/* Sends "CAL:SAV". */
ZR48_API ViStatus ZR48_CalSave(ViSession instrumentHandle);
/* Sends "CAL:INIT". */
ZR48_API ViStatus ZR48_CalInit(ViSession instrumentHandle);
/* Sends "CAL:CLE <inputStr>". */
ZR48_API ViStatus ZR48_CalClear(ViSession instrumentHandle, ViConstString inputStr);

#ifdef __cplusplus
}
#endif

#endif /* ZR48_HEADER */
