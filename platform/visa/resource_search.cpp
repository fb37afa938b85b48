// viParseRsrc(Ex), and viFindRsrc/viFindNext over what this layer knows of: the resources its
// resource manager has open, and the instruments discovery finds (visa/find.h). Search
// expressions are VISA's regular expressions (visa/resource_expression.h).
#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "visa/find.h"
#include "visa/visa.h"
#include "visa/lookup.h"
#include "visa/resource_expression.h"
#include "visa/resource_name.h"

namespace zr48::visa {
namespace {

// The names a search found beyond the first, handed out by viFindNext.
class FindList final : public Object {
 public:
  static constexpr ObjectKind kKind = ObjectKind::kFindList;
  explicit FindList(std::vector<std::string> names) : Object(kKind), names_(std::move(names)) {}

  bool next(std::string& name) {
    const std::lock_guard lock(mutex_);
    if (next_ >= names_.size()) return false;
    name = names_[next_++];
    return true;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> names_;
  std::size_t next_ = 0;
};

void copy_out(const std::string& text, ViChar* out, std::size_t size = VI_FIND_BUFLEN) {
  if (out == nullptr) return;
  const std::size_t n = std::min(text.size(), size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

ViStatus find_for_manager(ViSession sesn, const char* expression, ViFindList* list, ViUInt32* count,
                          ViChar* first) {
  if (list != nullptr) *list = VI_NULL;
  if (count != nullptr) *count = 0;
  const auto rm = registry::find_as<ResourceManager>(sesn);
  if (rm == nullptr)
    return registry::find(sesn) == nullptr ? VI_ERROR_INV_OBJECT : VI_ERROR_NSUP_OPER;
  if (expression == nullptr) return VI_ERROR_INV_EXPR;
  ResourceExpression matcher;
  const ViStatus status = ResourceExpression::compile(expression, matcher);
  if (status != VI_SUCCESS) return status;

  // The resources open through this manager (a raw socket cannot be discovered), then every
  // instrument the local buses and the configured networks show.
  std::vector<std::string> found;
  for (const ViSession vi : rm->sessions()) {
    const auto session = registry::find_as<Session>(vi);
    ViChar name[256] = "";
    if (session == nullptr || session->get_attribute(VI_ATTR_RSRC_NAME, name) != VI_SUCCESS) {
      continue;
    }
    const std::string text = name;
    if (matcher.matches(text) && std::find(found.begin(), found.end(), text) == found.end()) {
      found.push_back(text);
    }
  }
  std::vector<std::string> discovered;
  discover_resources(matcher, FindSettings::from_environment(), discovered);
  for (std::string& text : discovered) {
    if (std::find(found.begin(), found.end(), text) == found.end())
      found.push_back(std::move(text));
  }
  if (found.empty()) return VI_ERROR_RSRC_NFOUND;
  copy_out(found.front(), first);
  if (count != nullptr) *count = static_cast<ViUInt32>(found.size());
  if (list != nullptr) {
    found.erase(found.begin());
    *list = registry::add(std::make_shared<FindList>(std::move(found)));
    if (*list == VI_NULL) return VI_ERROR_ALLOC;
  }
  return VI_SUCCESS;
}

ViStatus parse(ViSession sesn, const char* text, ViUInt16* type, ViUInt16* board, ViChar* kind,
               ViChar* expanded, ViChar* alias) {
  if (registry::find_as<ResourceManager>(sesn) == nullptr) {
    return registry::find(sesn) == nullptr ? VI_ERROR_INV_OBJECT : VI_ERROR_NSUP_OPER;
  }
  if (text == nullptr) return VI_ERROR_INV_RSRC_NAME;
  ResourceName name;
  const ViStatus status = parse_resource_name(text, name);
  if (status != VI_SUCCESS) return status;
  if (type != nullptr) *type = static_cast<ViUInt16>(name.interface_type);
  if (board != nullptr) *board = name.board;
  copy_out(name.resource_class, kind);
  copy_out(name.canonical, expanded);
  copy_out("", alias);  // no aliases are defined here
  return VI_SUCCESS;
}

}  // namespace
}  // namespace zr48::visa

using zr48::visa::guarded;

extern "C" {

ViStatus viParseRsrc(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                     ViPUInt16 intfNum) {
  return guarded([&] {
    return zr48::visa::parse(rmSesn, rsrcName, intfType, intfNum, nullptr, nullptr, nullptr);
  });
}

ViStatus viParseRsrcEx(ViSession rmSesn, ViConstRsrc rsrcName, ViPUInt16 intfType,
                       ViPUInt16 intfNum, ViChar rsrcClass[], ViChar expandedUnaliasedName[],
                       ViChar aliasIfExists[]) {
  return guarded([&] {
    return zr48::visa::parse(rmSesn, rsrcName, intfType, intfNum, rsrcClass, expandedUnaliasedName,
                             aliasIfExists);
  });
}

ViStatus viFindRsrc(ViSession sesn, ViConstString expr, ViPFindList vi, ViPUInt32 retCnt,
                    ViChar desc[]) {
  return guarded([&] { return zr48::visa::find_for_manager(sesn, expr, vi, retCnt, desc); });
}

ViStatus viFindNext(ViFindList vi, ViChar desc[]) {
  return guarded([&]() -> ViStatus {
    const auto object = zr48::visa::registry::find(vi);
    if (object == nullptr) return VI_ERROR_INV_OBJECT;
    if (object->kind() != zr48::visa::ObjectKind::kFindList) return VI_ERROR_NSUP_OPER;
    std::string name;
    if (!static_cast<zr48::visa::FindList&>(*object).next(name)) return VI_ERROR_RSRC_NFOUND;
    zr48::visa::copy_out(name, desc);
    return VI_SUCCESS;
  });
}

}  // extern "C"
