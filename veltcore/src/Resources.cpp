#include "veltcore/Resources.h"

namespace veltcore::utility {

namespace {

UTF8String Narrow(const UTF16String& text) {
  return string::UTF16to8(text);
}

const resources::Entry* Find(ModuleHandle module, const UTF16String& type,
                             const UTF16String& name) {
  if (!module || !module->mEntries) return nullptr;
  const UTF8String t = Narrow(type), n = Narrow(name);
  for (std::size_t i = 0; i < module->mCount; ++i) {
    const resources::Entry& e = module->mEntries[i];
    if (string::EqualsIgnoreAsciiCase(e.mType, t) && string::EqualsIgnoreAsciiCase(e.mName, n))
      return &e;
  }
  return nullptr;
}

}  // namespace

std::vector<UTF16String> GetResourceNames(ModuleHandle module, const UTF16String& type) {
  std::vector<UTF16String> names;
  if (!module || !module->mEntries) return names;
  const UTF8String t = Narrow(type);
  for (std::size_t i = 0; i < module->mCount; ++i) {
    if (string::EqualsIgnoreAsciiCase(module->mEntries[i].mType, t))
      names.push_back(string::UTF8to16(module->mEntries[i].mName));
  }
  return names;
}

bool GetBinaryFromModule(ModuleHandle module, const UTF16String& type, const UTF16String& name,
                         std::vector<char>& bytes) {
  bytes.clear();
  const resources::Entry* e = Find(module, type, name);
  if (!e) return false;
  bytes.assign(reinterpret_cast<const char*>(e->mData),
               reinterpret_cast<const char*>(e->mData) + e->mSize);
  return true;
}

bool GetBinaryFromModule(ModuleHandle module, const UTF16String& type, const UTF16String& name,
                         std::string& bytes) {
  bytes.clear();
  const resources::Entry* e = Find(module, type, name);
  if (!e) return false;
  bytes.assign(reinterpret_cast<const char*>(e->mData), e->mSize);
  return true;
}

}  // namespace veltcore::utility
