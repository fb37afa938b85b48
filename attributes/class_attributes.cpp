// The rows of the IviDCPwr class attributes.
#include "class_attributes.h"

#include <array>

#include "ZR48.h"
#include "range_tables.h"

namespace zr48::attributes {
namespace {

#define ZR48_ROW(constant) #constant, constant

const std::array kClassAttributes = {
    ClassAttribute{ZR48_ROW(ZR48_ATTR_OUTPUT_ENABLED), ValueType::kBoolean, VI_FALSE, nullptr},
    ClassAttribute{ZR48_ROW(ZR48_ATTR_VOLTAGE_LEVEL), ValueType::kReal64, 0.0, &kVoltageLevelTable},
    ClassAttribute{ZR48_ROW(ZR48_ATTR_OVP_ENABLED), ValueType::kBoolean, VI_TRUE, nullptr},
    ClassAttribute{ZR48_ROW(ZR48_ATTR_OVP_LIMIT), ValueType::kReal64, 20.0, &kOvpLimitTable},
    ClassAttribute{ZR48_ROW(ZR48_ATTR_CURRENT_LIMIT_BEHAVIOR), ValueType::kInt32,
                   ZR48_VAL_CURRENT_REGULATE, &kCurrentLimitBehaviorTable},
    ClassAttribute{ZR48_ROW(ZR48_ATTR_CURRENT_LIMIT), ValueType::kReal64, 0.08,
                   &kCurrentLimitTable},
    ClassAttribute{ZR48_ROW(ZR48_ATTR_TRIGGER_SOURCE), ValueType::kInt32, ZR48_VAL_TRIG_IMMEDIATE,
                   &kTriggerSourceTable},
    ClassAttribute{ZR48_ROW(ZR48_ATTR_TRIGGERED_VOLTAGE_LEVEL), ValueType::kReal64, 0.0,
                   &kVoltageLevelTable},
    ClassAttribute{ZR48_ROW(ZR48_ATTR_TRIGGERED_CURRENT_LIMIT), ValueType::kReal64, 0.08,
                   &kCurrentLimitTable},
};

#undef ZR48_ROW

}  // namespace

std::span<const ClassAttribute> class_attribute_rows() {
  return kClassAttributes;
}

}  // namespace zr48::attributes
