// viGetAttribute / viSetAttribute for I/O sessions: one row per attribute the session keeps;
// attributes of the connection itself (TCPIP_*) are the transport's.
#include <array>
#include <string_view>

#include "visa/attribute_value.h"
#include "visa/session.h"
#include "visa/visa.h"

namespace zr48::visa {

struct AttributeTable {
  enum class Type { kBoolean, kUInt8, kUInt16, kUInt32, kText };

  struct Row {
    ViAttr id;
    Type type;
    ViAttrState (*number)(const Session&);
    std::string_view (*text)(const Session&);
    ViStatus (*set)(Session&, ViAttrState);  // nullptr: read-only
  };

  static ViStatus set_boolean(ViBoolean& field, ViAttrState value) {
    if (!is_boolean(value)) return VI_ERROR_NSUP_ATTR_STATE;
    field = static_cast<ViBoolean>(value);
    return VI_SUCCESS;
  }

  static ViStatus set_mode(ViUInt16& field, ViAttrState value, ViUInt16 other) {
    if (value != VI_FLUSH_ON_ACCESS && value != other) return VI_ERROR_NSUP_ATTR_STATE;
    field = static_cast<ViUInt16>(value);
    return VI_SUCCESS;
  }

  static const Row* find(ViAttr id) {
    static constexpr std::array<Row, 16> kRows = {{
        {VI_ATTR_TMO_VALUE, Type::kUInt32,
         [](const Session& s) -> ViAttrState { return s.settings_.timeout_ms; }, nullptr,
         [](Session& s, ViAttrState v) -> ViStatus {
           if (v > 0xFFFFFFFFULL) return VI_ERROR_NSUP_ATTR_STATE;
           s.settings_.timeout_ms = static_cast<ViUInt32>(v);
           return VI_SUCCESS;
         }},
        {VI_ATTR_TERMCHAR, Type::kUInt8,
         [](const Session& s) -> ViAttrState { return s.settings_.termchar; }, nullptr,
         [](Session& s, ViAttrState v) -> ViStatus {
           if (v > 0xFF) return VI_ERROR_NSUP_ATTR_STATE;
           s.settings_.termchar = static_cast<ViUInt8>(v);
           s.transport_->termchar_changed(s.settings_.termchar);
           return VI_SUCCESS;
         }},
        {VI_ATTR_TERMCHAR_EN, Type::kBoolean,
         [](const Session& s) -> ViAttrState { return s.settings_.termchar_enabled; }, nullptr,
         [](Session& s, ViAttrState v) -> ViStatus {
           return set_boolean(s.settings_.termchar_enabled, v);
         }},
        // A socket carries no END: there both are kept but change nothing.
        {VI_ATTR_SEND_END_EN, Type::kBoolean,
         [](const Session& s) -> ViAttrState { return s.settings_.send_end; }, nullptr,
         [](Session& s, ViAttrState v) -> ViStatus {
           return set_boolean(s.settings_.send_end, v);
         }},
        {VI_ATTR_SUPPRESS_END_EN, Type::kBoolean,
         [](const Session& s) -> ViAttrState { return s.settings_.suppress_end; }, nullptr,
         [](Session& s, ViAttrState v) -> ViStatus {
           return set_boolean(s.settings_.suppress_end, v);
         }},
        // Every transport here speaks its own protocol's normal form, and only that.
        {VI_ATTR_IO_PROT, Type::kUInt16,
         [](const Session&) -> ViAttrState { return VI_PROT_NORMAL; }, nullptr,
         [](Session&, ViAttrState v) -> ViStatus {
           return v == VI_PROT_NORMAL ? VI_SUCCESS : VI_ERROR_NSUP_ATTR_STATE;
         }},
        {VI_ATTR_RD_BUF_OPER_MODE, Type::kUInt16,
         [](const Session& s) -> ViAttrState { return s.settings_.read_mode; }, nullptr,
         [](Session& s, ViAttrState v) -> ViStatus {
           return set_mode(s.settings_.read_mode, v, VI_FLUSH_DISABLE);
         }},
        {VI_ATTR_WR_BUF_OPER_MODE, Type::kUInt16,
         [](const Session& s) -> ViAttrState { return s.settings_.write_mode; }, nullptr,
         [](Session& s, ViAttrState v) -> ViStatus {
           return set_mode(s.settings_.write_mode, v, VI_FLUSH_WHEN_FULL);
         }},
        {VI_ATTR_RD_BUF_SIZE, Type::kUInt32,
         [](const Session& s) -> ViAttrState { return s.input_.capacity(); }, nullptr, nullptr},
        {VI_ATTR_WR_BUF_SIZE, Type::kUInt32,
         [](const Session& s) -> ViAttrState { return s.output_.capacity(); }, nullptr, nullptr},
        {VI_ATTR_RSRC_NAME, Type::kText, nullptr,
         [](const Session& s) -> std::string_view { return s.name_.canonical; }, nullptr},
        {VI_ATTR_RSRC_CLASS, Type::kText, nullptr,
         [](const Session& s) -> std::string_view { return s.name_.resource_class; }, nullptr},
        {VI_ATTR_INTF_TYPE, Type::kUInt16,
         [](const Session& s) -> ViAttrState {
           return static_cast<ViUInt16>(s.name_.interface_type);
         },
         nullptr, nullptr},
        {VI_ATTR_INTF_NUM, Type::kUInt16,
         [](const Session& s) -> ViAttrState { return s.name_.board; }, nullptr, nullptr},
        {VI_ATTR_RSRC_LOCK_STATE, Type::kUInt32,
         [](const Session& s) -> ViAttrState { return s.lock_state(); }, nullptr, nullptr},
        // Events queued for viWaitOnEvent at most; the newest beyond it are dropped.
        {VI_ATTR_MAX_QUEUE_LENGTH, Type::kUInt32,
         [](const Session& s) -> ViAttrState { return s.events_->max_queue_length(); }, nullptr,
         [](Session& s, ViAttrState v) { return s.events_->set_max_queue_length(v); }},
    }};
    for (const Row& row : kRows) {
      if (row.id == id) return &row;
    }
    return nullptr;
  }

  static ViStatus get(const Session& session, const Row& row, void* value) {
    switch (row.type) {
      case Type::kText:
        store_attribute_text(value, row.text(session));
        break;
      case Type::kBoolean:
        store_attribute<ViBoolean>(value, static_cast<ViBoolean>(row.number(session)));
        break;
      case Type::kUInt8:
        store_attribute<ViUInt8>(value, static_cast<ViUInt8>(row.number(session)));
        break;
      case Type::kUInt16:
        store_attribute<ViUInt16>(value, static_cast<ViUInt16>(row.number(session)));
        break;
      case Type::kUInt32:
        store_attribute<ViUInt32>(value, static_cast<ViUInt32>(row.number(session)));
        break;
    }
    return VI_SUCCESS;
  }
};

ViStatus Session::get_attribute(ViAttr attribute, void* value) {
  const std::lock_guard lock(mutex_);
  if (closed_) return VI_ERROR_INV_OBJECT;
  if (const auto* row = AttributeTable::find(attribute))
    return AttributeTable::get(*this, *row, value);
  return transport_->get_attribute(attribute, value);
}

ViStatus Session::set_attribute(ViAttr attribute, ViAttrState value) {
  const std::lock_guard lock(mutex_);
  if (closed_) return VI_ERROR_INV_OBJECT;
  if (const auto* row = AttributeTable::find(attribute)) {
    return row->set != nullptr ? row->set(*this, value) : VI_ERROR_ATTR_READONLY;
  }
  return transport_->set_attribute(attribute, value);
}

}  // namespace zr48::visa
