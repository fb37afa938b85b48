// zr48-api-json: writes zr48-api.json, the machine-readable description of the public C face,
// from the tables the driver itself is built from: the exported-function rows (parameter kinds,
// checked against the prototypes while compiling), the instrument-function rows, the attribute
// rows of the driver and the engine, and the public header's text (parameter names, comments,
// constants). It fails when the header and the tables disagree.
//
// usage: zr48-api-json PUBLIC_HEADER OUTPUT_FILE
#include <cstdio>
#include <exception>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "ZR48.h"
#include "attributes/class_attributes.h"
#include "attributes/scpi_attributes.h"
#include "driver/exported_functions.h"
#include "driver/instrument_functions.h"
#include "engine/inherent_attributes.h"
#include "header_text.h"

namespace zr48::api {
namespace {

using nlohmann::ordered_json;

// The machine shape of a C type: "int32", "uint16*", "const char*", "float64".
template <typename T>
std::string abi() {
  if constexpr (std::is_pointer_v<T>) {
    using Pointee = std::remove_pointer_t<T>;
    const std::string constness = std::is_const_v<Pointee> ? "const " : "";
    return constness + abi<std::remove_const_t<Pointee>>() + "*";
  } else if constexpr (std::is_same_v<T, char>) {
    return "char";
  } else if constexpr (std::is_floating_point_v<T>) {
    return "float" + std::to_string(8 * sizeof(T));
  } else if constexpr (std::is_integral_v<T>) {
    return (std::is_signed_v<T> ? "int" : "uint") + std::to_string(8 * sizeof(T));
  } else {
    static_assert(std::is_void_v<T>, "a parameter type without a machine shape");
    return "void";
  }
}

// The header's spellings of parameter types, and their machine shapes as the compiler sees them.
const std::map<std::string, std::string>& spelling_abi() {
  static const std::map<std::string, std::string> kSpellings = {
      {"ViSession", abi<ViSession>()},   {"ViSession*", abi<ViSession*>()},
      {"ViRsrc", abi<ViRsrc>()},         {"ViBoolean", abi<ViBoolean>()},
      {"ViBoolean*", abi<ViBoolean*>()}, {"ViConstString", abi<ViConstString>()},
      {"ViChar[]", abi<ViChar*>()},      {"ViChar[256]", abi<ViChar*>()},
      {"ViInt16*", abi<ViInt16*>()},     {"ViInt32", abi<ViInt32>()},
      {"ViInt32*", abi<ViInt32*>()},     {"ViStatus", abi<ViStatus>()},
      {"ViStatus*", abi<ViStatus*>()},   {"ViAttr", abi<ViAttr>()},
      {"ViReal64", abi<ViReal64>()},     {"ViReal64*", abi<ViReal64*>()},
  };
  return kSpellings;
}

// One exported function as the table and the compiler know it.
struct FunctionRow {
  std::string name;
  std::string group;
  std::vector<Kind> kinds;
  std::vector<std::string> abi;
};

template <auto Function, Kind... Kinds>
struct Describe;

template <typename... Params, ViStatus (*Function)(Params...), Kind... Kinds>
struct Describe<Function, Kinds...> {
  static_assert(sizeof...(Params) == sizeof...(Kinds), "one kind per parameter");
  static_assert((kind_fits_type<Params>(Kinds) && ...), "a kind does not fit its parameter's type");
  static FunctionRow row(std::string name, std::string group) {
    return {std::move(name), std::move(group), {Kinds...}, {abi<Params>()...}};
  }
};

std::vector<FunctionRow> function_rows() {
  using enum Kind;
  std::vector<FunctionRow> rows;
  std::string group;
#define ZR48_SECTION(title) group = title;
#define ZR48_ROW(function, attribute, ...) \
  rows.push_back(Describe<&function, __VA_ARGS__>::row(#function, group));
  ZR48_EXPORTED_FUNCTIONS(ZR48_SECTION, ZR48_ROW)
#undef ZR48_ROW
#undef ZR48_SECTION
  return rows;
}

const char* kind_name(Kind kind) {
  switch (kind) {
    case Kind::kSession:
      return "session";
    case Kind::kSessionOrNull:
      return "session_or_null";
    case Kind::kResource:
      return "resource";
    case Kind::kOptions:
      return "options";
    case Kind::kNewSession:
      return "new_session";
    case Kind::kText:
      return "text";
    case Kind::kChannel:
      return "channel";
    case Kind::kRepCap:
      return "repcap";
    case Kind::kReply:
      return "reply";
    case Kind::kMessage:
      return "message";
    case Kind::kSized:
      return "sized_buffer";
    case Kind::kSize:
      return "buffer_size";
    case Kind::kOut:
      return "out";
    case Kind::kLockFlagClear:
    case Kind::kLockFlagSet:
      return "lock_flag";
    case Kind::kFlag:
      return "flag";
    case Kind::kAttribute:
      return "attribute";
    case Kind::kValue:
      return "value";
    case Kind::kIndex:
      return "index";
    case Kind::kCount:
      return "count";
  }
  return "?";
}

const char* direction(Kind kind) {
  switch (kind) {
    case Kind::kNewSession:
    case Kind::kReply:
    case Kind::kMessage:
    case Kind::kSized:
    case Kind::kOut:
      return "out";
    case Kind::kLockFlagClear:
    case Kind::kLockFlagSet:
      return "inout";
    default:
      return "in";
  }
}

void fail(const std::string& message) {
  throw std::runtime_error(message);
}

ordered_json function_json(const FunctionRow& row, const PrototypeText& prototype,
                           const InstrumentFunction* instrument) {
  if (prototype.parameters.size() != row.kinds.size()) {
    fail(row.name + ": the header has " + std::to_string(prototype.parameters.size()) +
         " parameters, the table " + std::to_string(row.kinds.size()));
  }
  const auto name_of_kind = [&](Kind wanted) -> std::string {
    for (std::size_t i = 0; i < row.kinds.size(); ++i) {
      if (row.kinds[i] == wanted) return prototype.parameters[i].name;
    }
    return {};
  };
  ordered_json parameters = ordered_json::array();
  for (std::size_t i = 0; i < row.kinds.size(); ++i) {
    const ParameterText& text = prototype.parameters[i];
    const auto spelling = spelling_abi().find(text.type);
    if (spelling == spelling_abi().end()) fail(row.name + ": unknown type " + text.type);
    if (spelling->second != row.abi[i]) {
      fail(row.name + ": " + text.name + " is " + text.type + " in the header, " + row.abi[i] +
           " to the compiler");
    }
    const Kind kind = row.kinds[i];
    ordered_json parameter = {{"name", text.name},
                              {"type", text.type},
                              {"abi", row.abi[i]},
                              {"kind", kind_name(kind)},
                              {"direction", direction(kind)},
                              {"nullable", null_allowed(kind)}};
    if (kind == Kind::kReply && !name_of_kind(Kind::kCount).empty()) {
      parameter["buffer"] = {{"rule", "count"}, {"size_parameter", name_of_kind(Kind::kCount)}};
    } else if (kind == Kind::kReply) {
      parameter["buffer"] = {{"rule", "fixed"}, {"size", 512}};
    } else if (kind == Kind::kMessage) {
      parameter["buffer"] = {{"rule", "fixed"}, {"size", 256}};
    } else if (kind == Kind::kSized) {
      parameter["buffer"] = {{"rule", "ivi"}, {"size_parameter", name_of_kind(Kind::kSize)}};
    }
    parameters.push_back(std::move(parameter));
  }
  ordered_json function = {{"name", row.name},
                           {"group", row.group},
                           {"doc", prototype.doc},
                           {"returns", "ViStatus"},
                           {"parameters", std::move(parameters)}};
  if (instrument != nullptr) {
    const auto parameter_at = [&](std::uint8_t position) -> ordered_json {
      if (position == 0) return nullptr;
      return prototype.parameters.at(position - 1).name;
    };
    std::string command = instrument->command;
    if (command.ends_with('\n')) command.pop_back();
    static constexpr const char* kReplies[] = {"none", "word", "raw"};
    function["instrument"] = {{"command", command},
                              {"channel_parameter", parameter_at(instrument->channel)},
                              {"input_parameter", parameter_at(instrument->input)},
                              {"reply_parameter", parameter_at(instrument->reply)},
                              {"reply", kReplies[static_cast<int>(instrument->reply_kind)]}};
  }
  return function;
}

ordered_json flags_json(IviAttrFlags flags) {
  static constexpr std::pair<IviAttrFlags, const char*> kNames[] = {
      {IVI_VAL_NOT_SUPPORTED, "not_supported"},
      {IVI_VAL_NOT_READABLE, "not_readable"},
      {IVI_VAL_NOT_WRITABLE, "not_writable"},
      {IVI_VAL_NOT_USER_READABLE, "not_user_readable"},
      {IVI_VAL_NOT_USER_WRITABLE, "not_user_writable"},
      {IVI_VAL_NEVER_CACHE, "never_cache"},
      {IVI_VAL_ALWAYS_CACHE, "always_cache"},
      {IVI_VAL_MULTI_CHANNEL, "multi_channel"},
      {IVI_VAL_USE_CALLBACKS_FOR_SIMULATION, "use_callbacks_for_simulation"},
      {IVI_VAL_DONT_CHECK_STATUS, "dont_check_status"},
  };
  ordered_json names = ordered_json::array();
  for (const auto& [bit, name] : kNames) {
    if ((flags & bit) != 0) names.push_back(name);
  }
  return names;
}

ordered_json range_table_json(const IviRangeTable* table) {
  if (table == nullptr) return nullptr;
  static constexpr const char* kTypes[] = {"discrete", "ranged", "coerced"};
  ordered_json entries = ordered_json::array();
  const ViString kEnd = IVI_RANGE_TABLE_END_STRING;  // NOLINT(performance-no-int-to-ptr)
  for (const IviRangeTableEntry* entry = table->rangeValues; entry->cmdString != kEnd; ++entry) {
    if (table->type == IVI_VAL_DISCRETE) {
      entries.push_back({{"value", entry->discreteOrMinValue}, {"keyword", entry->cmdString}});
    } else {
      entries.push_back({{"min", entry->discreteOrMinValue}, {"max", entry->maxValue}});
    }
  }
  return {{"type", kTypes[table->type]}, {"entries", std::move(entries)}};
}

ordered_json attribute_json(const std::string& name, ViAttr id, const char* type,
                            IviAttrFlags flags, const char* source) {
  const bool user_readable = (flags & (IVI_VAL_NOT_READABLE | IVI_VAL_NOT_USER_READABLE)) == 0;
  const bool user_writable = (flags & (IVI_VAL_NOT_WRITABLE | IVI_VAL_NOT_USER_WRITABLE)) == 0;
  return {{"name", name},
          {"id", id},
          {"type", type},
          {"flags", flags_json(flags)},
          {"channel_based", (flags & IVI_VAL_MULTI_CHANNEL) != 0},
          {"readable", user_readable},
          {"writable", user_writable},
          {"source", source},
          {"range_table", nullptr}};
}

const char* engine_type_name(engine::ValueType type) {
  switch (type) {
    case engine::ValueType::kInt32:
      return "ViInt32";
    case engine::ValueType::kReal64:
      return "ViReal64";
    case engine::ValueType::kString:
      return "ViString";
    case engine::ValueType::kBoolean:
      return "ViBoolean";
    case engine::ValueType::kSession:
      return "ViSession";
    case engine::ValueType::kAddr:
      return "ViAddr";
  }
  return "?";
}

const char* class_type_name(attributes::ValueType type) {
  switch (type) {
    case attributes::ValueType::kBoolean:
      return "ViBoolean";
    case attributes::ValueType::kInt32:
      return "ViInt32";
    case attributes::ValueType::kReal64:
      return "ViReal64";
  }
  return "?";
}

// Every attribute the header names, in identifier order; each must have exactly one row.
ordered_json attributes_json(const HeaderText& header) {
  std::map<long long, std::string> named;  // identifier -> the header's constant
  for (const Constant& constant : header.constants) {
    if (constant.name.starts_with("ZR48_ATTR_")) named[constant.value] = constant.name;
  }
  std::map<long long, ordered_json> rows;
  const auto add = [&](ViAttr id, ordered_json row) {
    if (!rows.emplace(id, std::move(row)).second) fail("two rows for attribute " + named[id]);
  };
  for (const engine::InherentRow& row : engine::inherent_attribute_rows()) {
    if (named.contains(row.id)) {
      add(row.id,
          attribute_json(named[row.id], row.id, engine_type_name(row.type), row.flags, "inherent"));
    }
  }
  for (const attributes::ClassAttribute& row : attributes::class_attribute_rows()) {
    ordered_json json = attribute_json(row.name, row.id, class_type_name(row.type),
                                       attributes::kClassAttributeFlags, "class");
    json["range_table"] = range_table_json(row.range);
    add(row.id, std::move(json));
  }
  std::vector<const attributes::ScpiAttribute*> scpi = {&attributes::id_query_response_row()};
  for (const attributes::ScpiAttribute& row : attributes::scpi_attribute_rows())
    scpi.push_back(&row);
  for (const attributes::ScpiAttribute* row : scpi) {
    ordered_json json = attribute_json(row->name, row->id, "ViString", row->flags, "scpi");
    const auto line = [](const char* text) -> ordered_json {
      if (text == nullptr) return nullptr;
      std::string_view view = text;
      if (view.ends_with('\n')) view.remove_suffix(1);
      return std::string(view);
    };
    // A row without a query yields the cached text; one without a command only keeps the value.
    const bool queries = row->read != attributes::ReadShape::kNone;
    json["scpi"] = {{"query", queries ? line(row->query) : nullptr},
                    {"command", line(row->command)}};
    add(row->id, std::move(json));
  }
  ordered_json list = ordered_json::array();
  for (auto& [id, row] : rows) {
    if (!named.contains(id)) fail("attribute " + row["name"].get<std::string>() + " not in header");
    if (row["name"] != named[id]) fail("attribute " + named[id] + " registered under another name");
    list.push_back(std::move(row));
  }
  for (const auto& [id, name] : named) {
    if (!rows.contains(id)) fail("attribute " + name + " has no row");
  }
  return list;
}

const char* constant_kind(std::string_view name) {
  if (name.starts_with("ZR48_ATTR_")) return "attribute";
  if (name.starts_with("ZR48_VAL_")) return "value";
  if (name.starts_with("ZR48_ERROR_")) return "error";
  return "version";
}

ordered_json api_description(const HeaderText& header) {
  std::map<std::string_view, const InstrumentFunction*> instruments;
  // The raw commands share the table but send the caller's line: no command of their own.
  for (const InstrumentFunction& row : instrument_functions()) {
    if (row.frame == &policy::kInstrumentFunction) instruments[row.name] = &row;
  }

  ordered_json functions = ordered_json::array();
  std::set<std::string> described;
  for (const FunctionRow& row : function_rows()) {
    const auto prototype = header.prototypes.find(row.name);
    if (prototype == header.prototypes.end()) fail(row.name + " is not in the header");
    const auto instrument = instruments.find(row.name);
    functions.push_back(function_json(
        row, prototype->second, instrument != instruments.end() ? instrument->second : nullptr));
    described.insert(row.name);
  }
  for (const auto& [name, prototype] : header.prototypes) {
    if (!described.contains(name)) fail(name + " has no row in the exported-function table");
  }

  ordered_json constants = ordered_json::array();
  for (const Constant& constant : header.constants) {
    constants.push_back({{"name", constant.name},
                         {"value", constant.value},
                         {"kind", constant_kind(constant.name)}});
  }
  return {
      {"name", "ZR48"},
      {"library", "libzr48.so." + std::to_string(ZR48_MAJOR_VERSION)},
      {"version", std::to_string(ZR48_MAJOR_VERSION) + "." + std::to_string(ZR48_MINOR_VERSION)},
      {"functions", std::move(functions)},
      {"attributes", attributes_json(header)},
      {"constants", std::move(constants)}};
}

}  // namespace
}  // namespace zr48::api

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: zr48-api-json PUBLIC_HEADER OUTPUT_FILE\n", stderr);
    return 2;
  }
  try {
    const zr48::api::HeaderText header = zr48::api::read_header(argv[1]);
    const std::string text = zr48::api::api_description(header).dump(1) + "\n";
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw std::runtime_error(std::string("cannot write ") + argv[2]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zr48-api-json: %s\n", error.what());
    std::remove(argv[2]);
    return 1;
  }
  return 0;
}
