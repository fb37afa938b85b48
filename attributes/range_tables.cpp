#include "range_tables.h"

#include "ZR48.h"

namespace zr48::attributes {
namespace {

// The engine's record types hold non-const text pointers; these keywords are never written.
constexpr ViString keyword_text(const char* text) {
  return const_cast<ViString>(text);
}

// A ranged entry: inclusive bounds, no keyword.
constexpr IviRangeTableEntry ranged(ViReal64 min, ViReal64 max) {
  return {min, max, 0.0, keyword_text(""), 0};
}
// A discrete entry: the value and the instrument keyword it stands for.
constexpr IviRangeTableEntry discrete(ViInt32 value, const char* keyword) {
  return {static_cast<ViReal64>(value), 0.0, 0.0, keyword_text(keyword), 0};
}

// The engine marks the end of a table with the all-ones text pointer.
const IviRangeTableEntry kEnd = {IVI_RANGE_TABLE_LAST_ENTRY};  // NOLINT(performance-no-int-to-ptr)

const IviRangeTableEntry kVoltageLevelEntries[] = {ranged(0.0, 25.0), kEnd};
const IviRangeTableEntry kOvpLimitEntries[] = {ranged(0.0, 30.0), kEnd};
const IviRangeTableEntry kCurrentLimitEntries[] = {ranged(0.0, 30.0), kEnd};

const IviRangeTableEntry kCurrentLimitBehaviorEntries[] = {
    discrete(ZR48_VAL_CURRENT_REGULATE, "REG"),
    discrete(ZR48_VAL_CURRENT_TRIP, "TRP"),
    kEnd,
};

const IviRangeTableEntry kTriggerSourceEntries[] = {
    discrete(ZR48_VAL_TRIG_IMMEDIATE, "IMM"), discrete(ZR48_VAL_TRIG_EXTERNAL, "EXT"),
    discrete(ZR48_VAL_SOFTWARE_TRIG, "SOFT"), discrete(ZR48_VAL_TRIG_TTL0, "TTL0"),
    discrete(ZR48_VAL_TRIG_TTL1, "TTL1"),     discrete(ZR48_VAL_TRIG_TTL2, "TTL2"),
    discrete(ZR48_VAL_TRIG_TTL3, "TTL3"),     discrete(ZR48_VAL_TRIG_TTL4, "TTL4"),
    discrete(ZR48_VAL_TRIG_TTL5, "TTL5"),     discrete(ZR48_VAL_TRIG_TTL6, "TTL6"),
    discrete(ZR48_VAL_TRIG_TTL7, "TTL7"),     discrete(ZR48_VAL_TRIG_ECL0, "ECL0"),
    discrete(ZR48_VAL_TRIG_ECL1, "ECL1"),     discrete(ZR48_VAL_TRIG_PXI_STAR, "STAR"),
    discrete(ZR48_VAL_TRIG_RTSI_0, "RTSI 0"), discrete(ZR48_VAL_TRIG_RTSI_1, "RTSI 1"),
    discrete(ZR48_VAL_TRIG_RTSI_2, "RTSI 2"), discrete(ZR48_VAL_TRIG_RTSI_3, "RTSI 3"),
    discrete(ZR48_VAL_TRIG_RTSI_4, "RTSI 4"), discrete(ZR48_VAL_TRIG_RTSI_5, "RTSI 5"),
    discrete(ZR48_VAL_TRIG_RTSI_6, "RTSI 6"), kEnd,
};

// The engine's table record points at its entries through a non-const pointer as well.
constexpr IviRangeTableEntry* entries_of(const IviRangeTableEntry* entries) {
  return const_cast<IviRangeTableEntry*>(entries);
}

}  // namespace

const IviRangeTable kVoltageLevelTable = {IVI_VAL_RANGED, VI_TRUE, VI_TRUE, nullptr,
                                          entries_of(kVoltageLevelEntries)};
const IviRangeTable kOvpLimitTable = {IVI_VAL_RANGED, VI_TRUE, VI_TRUE, nullptr,
                                      entries_of(kOvpLimitEntries)};
const IviRangeTable kCurrentLimitTable = {IVI_VAL_RANGED, VI_TRUE, VI_TRUE, nullptr,
                                          entries_of(kCurrentLimitEntries)};
const IviRangeTable kCurrentLimitBehaviorTable = {IVI_VAL_DISCRETE, VI_FALSE, VI_FALSE, nullptr,
                                                  entries_of(kCurrentLimitBehaviorEntries)};
const IviRangeTable kTriggerSourceTable = {IVI_VAL_DISCRETE, VI_FALSE, VI_FALSE, nullptr,
                                           entries_of(kTriggerSourceEntries)};

}  // namespace zr48::attributes
