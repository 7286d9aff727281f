#include "XMPNamespaces.h"

#include <mutex>
#include <optional>
#include <shared_mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "HashIndex.h"
#include "XMPPath.h"
#include "XMPUnicode.h"
#include "xmp/XMP_Const.h"

namespace xmpcore {
namespace {

struct StandardNamespace {
  const char* mURI;
  const char* mPrefix;
};

// The namespaces every object may use without registering them.
constexpr StandardNamespace kStandard[] = {
    {kXMP_NS_XML, "xml"},
    {kXMP_NS_RDF, "rdf"},
    {kXMP_NS_Meta, "x"},
    {kXMP_NS_DC, "dc"},
    {kXMP_NS_XMP, "xmp"},
    {kXMP_NS_XMP_Rights, "xmpRights"},
    {kXMP_NS_XMP_MM, "xmpMM"},
    {kXMP_NS_XMP_BJ, "xmpBJ"},
    {kXMP_NS_XMP_T, "xmpT"},
    {kXMP_NS_XMP_T_PG, "xmpTPg"},
    {kXMP_NS_XMP_G, "xmpG"},
    {kXMP_NS_XMP_G_IMG, "xmpGImg"},
    {kXMP_NS_DM, "xmpDM"},
    {kXMP_NS_XMP_Note, "xmpNote"},
    {kXMP_NS_XMP_IdentifierQual, "xmpidq"},
    {kXMP_NS_PDF, "pdf"},
    {kXMP_NS_PDFX, "pdfx"},
    {kXMP_NS_Photoshop, "photoshop"},
    {kXMP_NS_CameraRaw, "crs"},
    {kXMP_NS_TIFF, "tiff"},
    {kXMP_NS_EXIF, "exif"},
    {kXMP_NS_EXIF_Aux, "aux"},
    {kXMP_NS_ExifEX, "exifEX"},
    {kXMP_NS_IPTCCore, "Iptc4xmpCore"},
    {kXMP_NS_IPTCExt, "Iptc4xmpExt"},
    {kXMP_NS_PLUS, "plus"},
    {kXMP_NS_CC, "cc"},
    {kXMP_NS_MWG_RS, "mwg-rs"},
    {kXMP_NS_MWG_KW, "mwg-kw"},
    {kXMP_NS_MWG_Coll, "mwg-coll"},
    {kXMP_NS_XMP_Dimensions, "stDim"},
    {kXMP_NS_XMP_ResourceEvent, "stEvt"},
    {kXMP_NS_XMP_ResourceRef, "stRef"},
    {kXMP_NS_XMP_ST_Version, "stVer"},
    {kXMP_NS_XMP_ST_Job, "stJob"},
    {kXMP_NS_XMP_Font, "stFnt"},
    {kXMP_NS_XMP_ManifestItem, "stMfs"},
    {kXMP_NS_XMP_Area, "stArea"},
    {kXMP_NS_Transient, "veltTransient"},
};

class Registry {
 public:
  Registry() { Reset(); }

  void Reset() {
    std::unique_lock lock(mMutex);
    // Fresh tables, not cleared ones: their storage would stay at the largest size seen.
    mEntries = {};
    mByUri.Clear();
    mByPrefix.Clear();
    mNextSuffix = {};
    for (const auto& ns : kStandard)
      Add(ns.mURI, std::string(ns.mPrefix) + ':');
  }

  bool Register(std::string_view uri, std::string_view suggested, std::string* registered) {
    if (uri.empty()) throw XMP_Error(kXMPErr_BadParam, "empty namespace URI");
    RequireUTF8(uri, "namespace URI");
    if (!suggested.empty() && suggested.back() == ':') suggested.remove_suffix(1);
    if (!IsXMLName(suggested)) {
      throw XMP_Error(kXMPErr_BadParam,
                      "namespace prefix '" + std::string(suggested) + "' is not an XML name");
    }
    std::string wanted = std::string(suggested) + ':';
    const size_t uriHash = HashText(uri);
    {
      // Most calls find the namespace registered already (every parse registers the
      // namespaces it meets): those only read, so that threads do not wait for each other.
      std::shared_lock lock(mMutex);
      if (std::optional<bool> answer = Known(uri, uriHash, wanted, registered)) return *answer;
    }
    std::unique_lock lock(mMutex);
    if (std::optional<bool> answer = Known(uri, uriHash, wanted, registered)) return *answer;
    // xml and xmlns are bound by XML itself, rdf is the syntax's own: no other namespace
    // may take them, or the packets written with it could not be read.
    if (suggested == "xml" || suggested == "xmlns" || suggested == "rdf") {
      throw XMP_Error(kXMPErr_BadParam, "namespace prefix '" + std::string(suggested) +
                                            "' is reserved; '" + std::string(uri) +
                                            "' cannot use it");
    }
    std::string prefix = wanted;
    if (ByPrefix(wanted)) {
      // Generated prefixes "name_n_": the search goes on from the last number given for this
      // name, so that many namespaces asking for one prefix cost constant time each.
      int& next = mNextSuffix[std::string(suggested)];
      do {
        prefix = std::string(suggested) + '_' + std::to_string(++next) + "_:";
      } while (ByPrefix(prefix));
    }
    Add(std::string(uri), prefix, uriHash);
    if (registered) *registered = prefix;
    return prefix == wanted;
  }

  bool Prefix(std::string_view uri, std::string* prefix) const {
    const size_t hash = HashText(uri);
    std::shared_lock lock(mMutex);
    const Entry* known = ByUri(uri, hash);
    if (!known) return false;
    if (prefix) *prefix = known->mPrefix;
    return true;
  }

  bool URI(std::string_view prefix, std::string* uri) const {
    std::string key;
    if (prefix.empty() || prefix.back() != ':') {
      key.reserve(prefix.size() + 1);
      key.append(prefix);
      key += ':';
      prefix = key;
    }
    std::shared_lock lock(mMutex);
    const Entry* known = ByPrefix(prefix);
    if (!known) return false;
    if (uri) uri->assign(known->mUri);
    return true;
  }

  void Delete(std::string_view uri) {
    for (const auto& ns : kStandard) {
      if (uri == ns.mURI) return;
    }
    const size_t hash = HashText(uri);
    std::unique_lock lock(mMutex);
    const Entry* known = ByUri(uri, hash);
    if (!known) return;
    const auto id = static_cast<std::uint32_t>(known - mEntries.data());
    mByUri.Erase(hash, id);
    mByPrefix.Erase(HashText(known->mPrefix), id);
    // The last entry takes the freed place, so that ids stay dense.
    const auto last = static_cast<std::uint32_t>(mEntries.size() - 1);
    if (id != last) {
      mByUri.Renumber(HashText(mEntries[last].mUri), last, id);
      mByPrefix.Renumber(HashText(mEntries[last].mPrefix), last, id);
      mEntries[id] = std::move(mEntries[last]);
    }
    mEntries.pop_back();
  }

 private:
  struct Entry {
    std::string mUri;
    std::string mPrefix;  // with ':'
  };

  // Register's answer for a namespace registered already; nullopt for a new one.
  std::optional<bool> Known(std::string_view uri, size_t hash, const std::string& wanted,
                            std::string* registered) const {
    const Entry* known = ByUri(uri, hash);
    if (!known) return std::nullopt;
    if (registered) *registered = known->mPrefix;
    return known->mPrefix == wanted;
  }

  const Entry* ByUri(std::string_view uri, size_t hash) const {
    std::uint32_t id = mByUri.Find(hash, [&](std::uint32_t i) { return mEntries[i].mUri == uri; });
    return id == HashIndex::kNone ? nullptr : &mEntries[id];
  }

  const Entry* ByPrefix(std::string_view prefix) const {
    std::uint32_t id = mByPrefix.Find(
        HashText(prefix), [&](std::uint32_t i) { return mEntries[i].mPrefix == prefix; });
    return id == HashIndex::kNone ? nullptr : &mEntries[id];
  }

  void Add(std::string uri, std::string prefix, size_t uriHash) {
    const auto id = static_cast<std::uint32_t>(mEntries.size());
    mByUri.Insert(uriHash, id);
    mByPrefix.Insert(HashText(prefix), id);
    mEntries.push_back({std::move(uri), std::move(prefix)});
  }
  void Add(std::string uri, std::string prefix) {
    const size_t hash = HashText(uri);
    if (!ByUri(uri, hash)) Add(std::move(uri), std::move(prefix), hash);
  }

  mutable std::shared_mutex mMutex;
  std::vector<Entry> mEntries;  // by id; the indexes map URIs and prefixes to ids
  HashIndex mByUri;
  HashIndex mByPrefix;
  std::unordered_map<std::string, int> mNextSuffix;  // last number of generated prefixes
};

Registry& TheRegistry() {
  static Registry sRegistry;
  return sRegistry;
}

}  // namespace

bool RegisterNamespace(std::string_view uri, std::string_view suggestedPrefix,
                       std::string* registered) {
  return TheRegistry().Register(uri, suggestedPrefix, registered);
}

bool GetNamespacePrefix(std::string_view uri, std::string* prefix) {
  return TheRegistry().Prefix(uri, prefix);
}

bool GetNamespaceURI(std::string_view prefix, std::string* uri) {
  return TheRegistry().URI(prefix, uri);
}

void DeleteNamespace(std::string_view uri) {
  TheRegistry().Delete(uri);
}

void ResetNamespaces() {
  TheRegistry().Reset();
}

}  // namespace xmpcore
