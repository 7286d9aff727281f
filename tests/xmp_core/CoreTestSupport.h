#pragma once

// Helpers of the toolkit core and utility tests: values, errors, warnings and tree equality.

#include <functional>
#include <string>
#include <vector>

#include "XMPMetaObject.h"
#include "xmp/SXMPMeta.h"
#include "xmp/XMP_Warnings.h"

namespace coretest {

// The property's value, "<absent>" when it does not exist.
inline std::string Value(const SXMPMeta& meta, const char* ns, const std::string& path) {
  std::string value;
  return meta.GetProperty(ns, path, &value) ? value : "<absent>";
}

// The id of the XMP_Error `call` raises, -1 when it raises none.
inline XMP_ErrorID ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const XMP_Error& e) {
    return e.GetID();
  }
  return -1;
}

// The message of the XMP_Error `call` raises, "accepted" when it raises none.
inline std::string ErrorText(const std::function<void()>& call) {
  try {
    call();
  } catch (const XMP_Error& e) {
    return e.GetErrMsg();
  }
  return "accepted";
}

// The warnings raised while `body` runs.
inline std::vector<std::string> Warnings(const std::function<void()>& body) {
  std::vector<std::string> warnings;
  XMP_WarningScope scope([&](const std::string& w) { warnings.push_back(w); });
  body();
  return warnings;
}

// True when both objects hold equal trees.
inline bool SameTree(const SXMPMeta& a, const SXMPMeta& b) {
  return xmpcore::NodesEqual(xmpcore::Tree(a), xmpcore::Tree(b));
}

// `meta` serialized with `options` and parsed back; `packet` receives the text when given.
inline SXMPMeta RoundTrip(const SXMPMeta& meta, XMP_OptionBits options = 0,
                          std::string* packet = nullptr) {
  std::string text;
  meta.SerializeToBuffer(&text, options);
  if (packet != nullptr) *packet = text;
  return SXMPMeta(text.data(), static_cast<XMP_StringLen>(text.size()));
}

}  // namespace coretest
