#include "engine/range_check.h"

namespace zr48::engine {

std::optional<RangeTable> copy_range_table(const IviRangeTable& table) {
  if (table.rangeValues == nullptr ||
      (table.type != IVI_VAL_DISCRETE && table.type != IVI_VAL_RANGED &&
       table.type != IVI_VAL_COERCED)) {
    return std::nullopt;
  }
  // The end marker is a pointer made from -1, as the IVI headers define it.
  const ViString kEnd = IVI_RANGE_TABLE_END_STRING;  // NOLINT(performance-no-int-to-ptr)
  RangeTable copy;
  copy.type = table.type;
  for (const IviRangeTableEntry* e = table.rangeValues; e->cmdString != kEnd; ++e) {
    copy.entries.push_back({e->discreteOrMinValue, e->maxValue, e->coercedValue});
  }
  return copy;
}

bool check_range(const RangeTable& table, double value, double& result) {
  for (const RangeEntry& entry : table.entries) {
    if (table.type == IVI_VAL_DISCRETE) {
      if (value == entry.discrete_or_min) {
        result = value;
        return true;
      }
    } else if (value >= entry.discrete_or_min && value <= entry.max) {
      result = table.type == IVI_VAL_COERCED ? entry.coerced : value;
      return true;
    }
  }
  return false;
}

}  // namespace zr48::engine
