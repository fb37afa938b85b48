// Range tables: a copy of the driver's IviRangeTable taken when the attribute is added, and the
// check (and, for coerced tables, the coercion) of a value against it.
#ifndef ZR48_PLATFORM_ENGINE_RANGE_CHECK_H
#define ZR48_PLATFORM_ENGINE_RANGE_CHECK_H

#include <optional>
#include <vector>

#include "engine/ivi_engine.h"

namespace zr48::engine {

struct RangeEntry {
  double discrete_or_min;
  double max;
  double coerced;
};

struct RangeTable {
  ViInt32 type = IVI_VAL_DISCRETE;
  std::vector<RangeEntry> entries;
};

// Entries are read up to IVI_RANGE_TABLE_END_STRING; a table of unknown type or without entries
// gives nothing.
std::optional<RangeTable> copy_range_table(const IviRangeTable& table);

// Whether `value` passes: discrete tables need an equal entry, ranged and coerced ones an entry
// whose bounds include it (inclusive). For a coerced table `result` becomes the entry's coerced
// value, otherwise `value` itself.
bool check_range(const RangeTable& table, double value, double& result);

}  // namespace zr48::engine

#endif
