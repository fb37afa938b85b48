// The attribute accessors and raw data pass-throughs: one engine call each, as a user's call
// (so user-readable and user-writable flags apply), the engine's status returned unchanged.
#include "frame/frame.h"

namespace {
constexpr ViInt32 kUserCall = IVI_VAL_DIRECT_USER_CALL;
}  // namespace

ViStatus ZR48_GetAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                  ViInt32* value) {
  return Ivi_GetAttributeViInt32(vi, channelName, attributeId, kUserCall, value);
}

ViStatus ZR48_GetAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViReal64* value) {
  return Ivi_GetAttributeViReal64(vi, channelName, attributeId, kUserCall, value);
}

ViStatus ZR48_GetAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViInt32 bufSize, ViChar value[]) {
  return Ivi_GetAttributeViString(vi, channelName, attributeId, kUserCall, bufSize, value);
}

ViStatus ZR48_GetAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                    ViBoolean* value) {
  return Ivi_GetAttributeViBoolean(vi, channelName, attributeId, kUserCall, value);
}

ViStatus ZR48_GetAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                    ViSession* value) {
  return Ivi_GetAttributeViSession(vi, channelName, attributeId, kUserCall, value);
}

ViStatus ZR48_SetAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                  ViInt32 value) {
  return Ivi_SetAttributeViInt32(vi, channelName, attributeId, kUserCall, value);
}

ViStatus ZR48_SetAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViReal64 value) {
  return Ivi_SetAttributeViReal64(vi, channelName, attributeId, kUserCall, value);
}

ViStatus ZR48_SetAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                   ViConstString value) {
  return Ivi_SetAttributeViString(vi, channelName, attributeId, kUserCall, value);
}

ViStatus ZR48_SetAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                    ViBoolean value) {
  return Ivi_SetAttributeViBoolean(vi, channelName, attributeId, kUserCall, value);
}

ViStatus ZR48_SetAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                    ViSession value) {
  return Ivi_SetAttributeViSession(vi, channelName, attributeId, kUserCall, value);
}

ViStatus ZR48_CheckAttributeViInt32(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                    ViInt32 value) {
  return Ivi_CheckAttributeViInt32(vi, channelName, attributeId, kUserCall, value);
}

ViStatus ZR48_CheckAttributeViReal64(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                     ViReal64 value) {
  return Ivi_CheckAttributeViReal64(vi, channelName, attributeId, kUserCall, value);
}

ViStatus ZR48_CheckAttributeViString(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                     ViConstString value) {
  return Ivi_CheckAttributeViString(vi, channelName, attributeId, kUserCall, value);
}

ViStatus ZR48_CheckAttributeViBoolean(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                      ViBoolean value) {
  return Ivi_CheckAttributeViBoolean(vi, channelName, attributeId, kUserCall, value);
}

ViStatus ZR48_CheckAttributeViSession(ViSession vi, ViConstString channelName, ViAttr attributeId,
                                      ViSession value) {
  return Ivi_CheckAttributeViSession(vi, channelName, attributeId, kUserCall, value);
}

ViStatus ZR48_WriteInstrData(ViSession vi, ViConstString writeBuffer) {
  return Ivi_WriteInstrData(vi, writeBuffer);
}

ViStatus ZR48_ReadInstrData(ViSession vi, ViInt32 numBytes, ViChar rdBuf[], ViInt32* bytesRead) {
  return Ivi_ReadInstrData(vi, numBytes, rdBuf, bytesRead);
}
