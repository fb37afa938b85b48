// The range tables of the IviDCPwr class attributes: constant data shared by every session. The
// engine reads them whenever it validates a value written to one of these attributes.
#ifndef ZR48_ATTRIBUTES_RANGE_TABLES_H
#define ZR48_ATTRIBUTES_RANGE_TABLES_H

#include "engine/ivi_engine.h"

namespace zr48::attributes {

extern const IviRangeTable kVoltageLevelTable;          // 0.0 V to 25.0 V
extern const IviRangeTable kOvpLimitTable;              // 0.0 V to 30.0 V
extern const IviRangeTable kCurrentLimitTable;          // 0.0 A to 30.0 A
extern const IviRangeTable kCurrentLimitBehaviorTable;  // regulate, trip
extern const IviRangeTable kTriggerSourceTable;         // the 21 trigger sources

// The engine's registration calls take a non-const pointer; it only ever reads the table.
inline IviRangeTablePtr for_engine(const IviRangeTable& table) {
  return const_cast<IviRangeTablePtr>(&table);
}

}  // namespace zr48::attributes

#endif  // ZR48_ATTRIBUTES_RANGE_TABLES_H
