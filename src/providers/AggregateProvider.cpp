// Several providers merged into one object, and edits distributed back to each.

#include "veltmetadata/AggregateProvider.h"

#include <set>

#include "ProviderAssert.h"
#include "veltcore/Strings.h"
#include "veltmetadata/DynamicSchemas.h"
#include "veltmetadata/MetaDataAccess.h"
#include "veltmetadata/MetaDataOperations.h"
#include "veltmetadata/Registry.h"
#include "xmp/SXMPIterator.h"
#include "xmp/SXMPMeta.h"
#include "xmp/SXMPUtils.h"

namespace veltmetadata {

namespace {

// Merges one provider's metadata into `merged`; true once something was collected.
bool CollectXMP(SXMPMeta& merged, bool have, const std::shared_ptr<MetaDataProvider>& provider) {
  MetaDataReadAccess access(provider);
  if (*access == nullptr) return have;
  try {
    SXMPUtils::CollectProperties(SXMPMeta(*access), &merged, 0);
    return true;
  } catch (...) {
    VELT_PROVIDER_ASSERT(
        "CollectXMP", "false",
        providers::CurrentExceptionText("Error collecting XMP", "Error collecting XMP",
                                        "Unknown error collecting XMP"));
    return have;
  }
}

// Hands the edits of `merged` to one provider and commits them there. A provider that
// cannot write every changed path gets nothing.
void DistributeXMP(const SXMPMeta& merged, const std::shared_ptr<MetaDataProvider>& provider,
                   const std::vector<Path>& changes) {
  for (const Path& path : changes) {
    if (!provider->QueryPathStatus(path, kPathStatus_Writable)) return;
  }
  MetaDataUpdateAccess access(provider);
  if (*access == nullptr) return;
  try {
    SXMPMeta dest(*access);
    SXMPUtils::DistributeProperties(merged, &dest, 0);
    // An emptied value reaches the providers as a deletion.
    for (const Path& path : changes) {
      UTF8String text;
      GetValueResult result = kGetValueResult_NoValue;
      GetValue(merged.GetInternalRef(), path, text, &result);
      if (result != kGetValueResult_MultipleValues && text.empty()) {
        dest.DeleteProperty(path.mNamespace, path.mPathDescription);
      }
    }
  } catch (...) {
    VELT_PROVIDER_ASSERT(
        "DistributeXMP", "false",
        providers::CurrentExceptionText("Error distributing XMP", "Error distributing XMP",
                                        "Unknown error distributing XMP"));
  }
  for (const Path& path : changes)
    access.AddChange(path);
}

// The prefix of a schema's first property path ("dyn" of "dyn:Take/dyn:Scene").
std::string FirstPrefix(const SXMPMeta& meta, const std::string& ns) {
  SXMPIterator steps(meta, ns, "", 0);
  std::string path;
  while (steps.Next(nullptr, &path)) {
    if (!path.empty()) return path.substr(0, path.find(':'));
  }
  return {};
}

}  // namespace

AggregateProvider::AggregateProvider() = default;

AggregateProvider::AggregateProvider(const ProviderRange& providers) {
  ResetProviders(providers);
}

AggregateProvider::~AggregateProvider() = default;

void AggregateProvider::AddProvider(const std::shared_ptr<MetaDataProvider>& provider,
                                    bool refresh) {
  if (!provider) return;
  if (!AddProxyProvider(provider)) return;
  mProviders.push_back(provider);
  if (refresh) OnProxyMetaDataChange(nullptr);
}

void AggregateProvider::ResetProviders(const ProviderRange& providers) {
  mProviders.clear();
  ResetProxyProviders();
  for (auto it = providers.first; it != providers.second; ++it)
    AddProvider(*it, false);
  OnProxyMetaDataChange(nullptr);
}

void AggregateProvider::ResetProviders() {
  mProviders.clear();
  ResetProxyProviders();
  OnProxyMetaDataChange(nullptr);
}

bool AggregateProvider::QueryPathStatus(const Path& path, PathStatus status) const {
  for (const auto& provider : mProviders) {
    if (provider->QueryPathStatus(path, status)) return true;
  }
  return false;
}

void AggregateProvider::GetAllPathsForDynamicSchema(
    const UTF8String& namespaceURI,
    std::vector<std::shared_ptr<PropertyDefinition>>& outProperties) {
  outProperties.clear();
  std::set<std::string> seen;
  for (const auto& provider : mProviders) {
    MetaDataReadAccess access(provider);
    if (*access == nullptr) continue;
    try {
      SXMPIterator steps(SXMPMeta(*access), namespaceURI, "", 0);
      std::string path;
      while (steps.Next(nullptr, &path)) {
        if (path.empty() || !seen.insert(path).second) continue;
        std::string name = path;
        const std::size_t pos = path.find(':');
        if (pos == std::string::npos) {
          VELT_PROVIDER_ASSERT("veltmetadata::AggregateProvider::GetAllPathsForDynamicSchema",
                               "pos != veltcore::StdString::npos", "");
        } else {
          name = path.substr(pos + 1);
        }
        const UTF16String label = veltcore::string::UTF8to16(name);
        outProperties.push_back(CreateNewProperty(kPrimitiveType_Text, name, label, label, {}, {}));
      }
    } catch (const XMP_Error&) {
      // A namespace the toolkit does not know holds nothing.
    }
  }
}

void AggregateProvider::GetAllDynamicSchemas(__XMPMeta__* metaData) {
  const SchemaRange known = ::veltmetadata::DynamicSchemaDefinitions();
  for (auto it = known.first; it != known.second; ++it) {
    if (*it && !DoesDynamicNamespaceExist((*it)->mNamespace)) AddDynamicSchemaDefinition(*it);
  }
  if (metaData == nullptr) return;
  const SXMPMeta meta(metaData);
  try {
    SXMPIterator schemas(meta, kXMP_IterJustChildren);
    std::string ns;
    while (schemas.Next(&ns)) {
      if (ns.empty() || !IsDynamicNamespace(ns) || DoesDynamicNamespaceExist(ns)) continue;
      auto schema = std::make_shared<SchemaDefinition>();
      schema->mNamespace = ns;
      schema->mDescription = schema->mDescriptionZString = veltcore::string::UTF8to16(ns);
      schema->mCustom = true;
      schema->mDynamic = true;
      schema->mPrefix = FirstPrefix(meta, ns);
      schema->mLabel = schema->mLabelZString = veltcore::string::UTF8to16(schema->mPrefix);
      if (!schema->mPrefix.empty()) AddDynamicSchemaDefinition(schema);
    }
  } catch (const XMP_Error& error) {
    VELT_PROVIDER_ASSERT("veltmetadata::AggregateProvider::GetAllDynamicSchemas", "false",
                         error.GetErrMsg());
  }
}

void AggregateProvider::OnProxyMetaDataChange(__XMPMeta__* /*changedMetaData*/) {
  SXMPMeta merged;
  bool have = false;
  if (mProviders.size() == 1) {
    MetaDataReadAccess access(mProviders.front());
    if (*access != nullptr) {
      merged = SXMPMeta(*access);
      have = true;
    }
  } else {
    for (const auto& provider : mProviders)
      have = CollectXMP(merged, have, provider);
  }
  __XMPMeta__* result = nullptr;
  if (have) {
    for (const auto& provider : mProviders) {
      MetaDataReadAccess access(provider);
      GetAllDynamicSchemas(*access);
    }
    result = merged.GetInternalRef();
  }
  ResetMetaData(result, true);
}

void AggregateProvider::WriteChanges(const std::vector<Path>& changes) {
  if (mProviders.empty()) return;
  if (mProviders.size() == 1) {
    MetaDataUpdateAccess access(mProviders.front());
    for (const Path& path : changes)
      access.AddChange(path);
    return;
  }
  __XMPMeta__* meta = MetaDataAccess();
  if (meta == nullptr) {
    VELT_PROVIDER_ASSERT("veltmetadata::AggregateProvider::WriteChanges", "meta", "");
    return;
  }
  const SXMPMeta merged(meta);
  const ProviderList providers = mProviders;  // a commit may change the list
  for (const auto& provider : providers)
    DistributeXMP(merged, provider, changes);
}

}  // namespace veltmetadata
