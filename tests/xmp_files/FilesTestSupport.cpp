#include "FilesTestSupport.h"

#include "HandlerRegistry.h"

namespace velttest {

namespace {
std::string Quote(const std::filesystem::path& p) {
  return "'" + p.string() + "'";
}
}  // namespace

std::filesystem::path CopySample(const TempDir& dir, const std::string& name) {
  std::filesystem::path to = dir / name;
  std::filesystem::copy_file(DataFile("xmp_files/images/" + name), to);
  return to;
}

bool ReadXmp(const std::filesystem::path& file, SXMPMeta* meta) {
  SXMPFiles f(file.string(), kXMP_UnknownFile, kXMPFiles_OpenForRead);
  return f.GetXMP(meta);
}

void WriteXmp(const std::filesystem::path& file, const SXMPMeta& meta) {
  SXMPFiles f(file.string(), kXMP_UnknownFile, kXMPFiles_OpenForUpdate);
  f.PutXMP(meta);
  f.CloseFile();
}

std::string ExifToolTag(const std::filesystem::path& file, const std::string& tag) {
  std::string out = RunCommand("exiftool -s3 -" + tag + " " + Quote(file) + " 2>/dev/null");
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
    out.pop_back();
  return out;
}

std::string ExifToolWarnings(const std::filesystem::path& file) {
  return RunCommand("exiftool -a -s3 -validate -Warning -Error " + Quote(file) + " 2>&1");
}

std::string Pixels(const std::filesystem::path& file) {
  return RunCommand("convert " + Quote(file) + " rgb:- 2>/dev/null | md5sum");
}

std::size_t CountFiles(const std::filesystem::path& folder) {
  std::size_t n = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    (void)e;
    ++n;
  }
  return n;
}

void StoreRawPacket(const std::filesystem::path& file, const std::string& raw) {
  if (file.extension() == ".xmp") return WriteFile(file, raw);
  xmpfiles::DiskStorage storage(file.string(), true);
  const xmpfiles::FileHandler* handler = xmpfiles::DetectHandler(
      storage, xmpfiles::LowerExtension(file.string()), xmpfiles::kFormatUnknown, 0);
  ASSERT_NE(handler, nullptr) << file;
  handler->Write(storage, xmpfiles::PacketText(raw));
}

std::string LabelPacket(const std::string& label) {
  return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><x:xmpmeta "
         "xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
         "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
         "rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmp:Label=\"" +
         label + "\"/></rdf:RDF></x:xmpmeta>\n<?xpacket end=\"w\"?>";
}

std::string Label(const std::filesystem::path& file) {
  SXMPMeta meta;
  std::string label;
  if (ReadXmp(file, &meta)) meta.GetProperty(kXMP_NS_XMP, "xmp:Label", &label);
  return label;
}

std::string VeltmetaTool() {
  return std::string(VELT_BINARY_DIR) + "/tools/veltmeta/veltmeta";
}

}  // namespace velttest
