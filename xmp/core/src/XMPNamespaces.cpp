#include "XMPNamespaces.h"

#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <utility>

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

// Heterogeneous lookup: finding a namespace does not copy the URI.
struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using TextMap = std::unordered_map<std::string, std::string, TextHash, std::equal_to<>>;
// The reverse index points into the strings of the forward one: each name is stored once.
using ViewMap = std::unordered_map<std::string_view, std::string_view>;

class Registry {
 public:
  Registry() { Reset(); }

  void Reset() {
    std::unique_lock lock(mMutex);
    // Fresh tables, not cleared ones: their bucket arrays would stay at the largest size seen.
    mUriToPrefix = TextMap();
    mPrefixToUri = ViewMap();
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
    std::unique_lock lock(mMutex);
    if (auto it = mUriToPrefix.find(uri); it != mUriToPrefix.end()) {
      if (registered) *registered = it->second;
      return it->second == wanted;
    }
    // xml and xmlns are bound by XML itself, rdf is the syntax's own: no other namespace
    // may take them, or the packets written with it could not be read.
    if (suggested == "xml" || suggested == "xmlns" || suggested == "rdf") {
      throw XMP_Error(kXMPErr_BadParam, "namespace prefix '" + std::string(suggested) +
                                            "' is reserved; '" + std::string(uri) +
                                            "' cannot use it");
    }
    std::string prefix = wanted;
    if (mPrefixToUri.count(wanted) != 0) {
      // Generated prefixes "name_n_": the search goes on from the last number given for this
      // name, so that many namespaces asking for one prefix cost constant time each.
      int& next = mNextSuffix[std::string(suggested)];
      do {
        prefix = std::string(suggested) + '_' + std::to_string(++next) + "_:";
      } while (mPrefixToUri.count(prefix) != 0);
    }
    Add(std::string(uri), prefix);
    if (registered) *registered = prefix;
    return prefix == wanted;
  }

  bool Prefix(std::string_view uri, std::string* prefix) const {
    std::shared_lock lock(mMutex);
    auto it = mUriToPrefix.find(uri);
    if (it == mUriToPrefix.end()) return false;
    if (prefix) *prefix = it->second;
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
    auto it = mPrefixToUri.find(prefix);
    if (it == mPrefixToUri.end()) return false;
    if (uri) uri->assign(it->second);
    return true;
  }

  void Delete(std::string_view uri) {
    for (const auto& ns : kStandard) {
      if (uri == ns.mURI) return;
    }
    std::unique_lock lock(mMutex);
    auto it = mUriToPrefix.find(uri);
    if (it == mUriToPrefix.end()) return;
    mPrefixToUri.erase(it->second);
    mUriToPrefix.erase(it);
  }

 private:
  void Add(std::string uri, std::string prefix) {
    // Nodes of an unordered_map never move, so views of their strings stay valid.
    auto [it, added] = mUriToPrefix.try_emplace(std::move(uri), std::move(prefix));
    if (added) mPrefixToUri.emplace(it->second, it->first);
  }

  mutable std::shared_mutex mMutex;
  TextMap mUriToPrefix;
  ViewMap mPrefixToUri;
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
