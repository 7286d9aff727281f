// Edit cycles on real media files through FileProvider, an aggregate of three files and a
// disjoint-schema provider, read back by ExifTool; media bytes must not change.

#include <gtest/gtest.h>

#include <sstream>

#include "AvTestSupport.h"
#include "ProviderSupport.h"
#include "TestSupport.h"
#include "veltmetadata/AggregateProvider.h"
#include "veltmetadata/DisjointSchemaProxyProvider.h"
#include "veltmetadata/FileProvider.h"
#include "veltmetadata/Lifecycle.h"
#include "xmp/SXMPFiles.h"

namespace velttest {
namespace {

using namespace veltmetadata;
namespace fs = std::filesystem;

const char* const kSamples[] = {"images/sample.jpg", "iso/moov_last.mp4", "riff/tone.wav"};

class FileEditTest : public ValuesFixture {
 protected:
  void SetUp() override {
    ValuesFixture::SetUp();
    VELT_REQUIRE_COMMANDS("exiftool");
  }
  // Copies the samples and gives each the packet `body(i)`.
  std::vector<fs::path> Files(const std::function<std::string(int)>& body) {
    std::vector<fs::path> files;
    for (int i = 0; i < 3; ++i) {
      files.push_back(avtest::CopySample(mDir.Path(), kSamples[i]));
      SXMPFiles file(files.back().string(), kXMP_UnknownFile, kXMPFiles_OpenForUpdate);
      file.PutXMP(Packet(body(i)));
      file.CloseFile();
    }
    return files;
  }
  static std::shared_ptr<FileProvider> Provider(const fs::path& file) {
    return std::make_shared<FileProvider>(std::u16string(file.u16string()));
  }
  // What ExifTool reads: for each file, the tags (-f: "-" when absent), tab-separated.
  static std::vector<std::string> ExifTool(const std::vector<fs::path>& files,
                                           const std::string& tags) {
    std::string command = "exiftool -q -q -f -p '" + tags + "'";
    for (const auto& f : files)
      command += " '" + f.string() + "'";
    std::istringstream in(RunCommand(command));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      lines.push_back(line);
    return lines;
  }
  // The bytes an edit must keep: media payloads, or a JPEG's decoded pixels.
  static std::string Media(const fs::path& file) {
    if (file.extension() == ".mp4") return avtest::IsoMediaBytes(file);
    if (file.extension() == ".wav") return avtest::RiffMediaBytes(file);
    return RunCommand("identify -format '%#' '" + file.string() + "'");
  }
  TempDir mDir;
};

TEST_F(FileEditTest, FileProviderEditRecordsHistoryAndKeepsMedia) {
  auto files = Files([](int) {
    return "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Original</rdf:li></rdf:Alt></dc:title>"
           "<xmpMM:InstanceID xmlns:xmpMM='http://ns.adobe.com/xap/1.0/mm/'>xmp.iid:original"
           "</xmpMM:InstanceID>";
  });
  std::vector<std::string> media;
  for (const auto& file : files) {
    media.push_back(Media(file));
    ASSERT_TRUE(Edit(Provider(file), {{Prop(kXMP_NS_DC, "title"), "Edited title"}})) << file;
  }
  EXPECT_EQ(mAssertions.Count(), 0u);
  const auto seen = ExifTool(files,
                             "${XMP:Title}\t${XMP:HistoryAction}\t${XMP:HistoryChanged}\t"
                             "${XMP:InstanceID}\t${Warning}");
  ASSERT_EQ(seen.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(seen[i].rfind("Edited title\tsaved\t/metadata/dc/title\txmp.iid:", 0), 0u) << seen[i];
    EXPECT_EQ(seen[i].find("original"), std::string::npos) << seen[i];
    EXPECT_EQ(seen[i].substr(seen[i].size() - 2), "\t-") << seen[i];  // no warning
    EXPECT_EQ(Media(files[i]), media[i]) << files[i];
  }

  // Refused writes: the file stays as it was.
  const std::string before = ReadFile(files[0]);
  auto provider = Provider(files[0]);
  DisableXMPWriting(true);
  Edit(provider, {{Prop(kXMP_NS_DC, "title"), "Not written"}});
  DisableXMPWriting(false);
  EXPECT_TRUE(mAssertions.Contains("meta && !IsXMPWritingDisabled()"));
  EXPECT_EQ(ReadFile(files[0]), before);
  fs::remove(files[0]);  // a file that vanished before the commit
  {
    MetaDataUpdateAccess access(provider);
    access.AddChange(Prop(kXMP_NS_DC, "title"));
  }
  EXPECT_EQ(mAssertions.All().back().mFunction, "veltmetadata::FileProvider::WriteChanges");
  EXPECT_FALSE(fs::exists(files[0]));
  // No path, or a file without XMP: no metadata, nothing to write to.
  EXPECT_EQ(*MetaDataReadAccess(std::make_shared<FileProvider>()), nullptr);
  EXPECT_EQ(*MetaDataReadAccess(Provider(avtest::CopySample(mDir.Path(), "mpeg/notag.mp3"))),
            nullptr);
}

TEST_F(FileEditTest, AggregateOfThreeFilesWritesEachItsShareOfTheEdit) {
  auto files = Files([](int i) {
    const std::string n = std::to_string(i);
    return "<xmp:Label>label-" + n +
           "</xmp:Label><xmp:Rating>2</xmp:Rating>"
           "<xmpMM:DerivedFrom rdf:parseType='Resource' "
           "xmlns:xmpMM='http://ns.adobe.com/xap/1.0/mm/' "
           "xmlns:stRef='http://ns.adobe.com/xap/1.0/sType/ResourceRef#'>"
           "<stRef:documentID>doc-old</stRef:documentID><stRef:instanceID>inst-" +
           n + "</stRef:instanceID></xmpMM:DerivedFrom>";
  });
  std::vector<std::string> media;
  ProviderList providers;
  for (const auto& file : files) {
    media.push_back(Media(file));
    providers.push_back(Provider(file));
  }
  auto aggregate =
      std::make_shared<AggregateProvider>(ProviderRange{providers.begin(), providers.end()});
  const Path derived = Prop(kXMP_NS_XMP_MM, "DerivedFrom");
  const Path documentID = CreatePathFromStructureField(
      derived, FieldNameDefinition(TypeEntryDefinition(derived), "documentID"));
  ASSERT_TRUE(Edit(aggregate, {{Prop(kXMP_NS_DC, "title"), "Common"},
                               {documentID, "doc-new"},
                               {Prop(kXMP_NS_XMP, "Rating"), ""}}));
  EXPECT_EQ(mAssertions.Count(), 0u);
  const auto seen = ExifTool(files,
                             "${XMP:Title}\t${XMP:Label}\t${XMP:Rating}\t"
                             "${XMP:DerivedFromDocumentID}\t${XMP:DerivedFromInstanceID}\t"
                             "${XMP:HistoryAction}");
  ASSERT_EQ(seen.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    const std::string n = std::to_string(i);
    EXPECT_EQ(seen[i], "Common\tlabel-" + n + "\t-\tdoc-new\tinst-" + n + "\tsaved");
    EXPECT_EQ(Media(files[i]), media[i]);
  }
}

TEST_F(FileEditTest, DisjointProviderKeepsOwnedSchemaOutOfTheBaseFile) {
  auto files = Files([](int) { return std::string("<xmp:Rating>1</xmp:Rating>"); });
  auto owner = MemoryProvider::Of(Packet("<xmp:Rating>4</xmp:Rating>"));
  auto disjoint = std::make_shared<DisjointSchemaProxyProvider>();
  disjoint->RegisterBaseProvider(Provider(files[0]));
  disjoint->RegisterProvider(NamespaceDefinition(kXMP_NS_XMP), owner);
  {
    MetaDataUpdateAccess access(disjoint);
    EXPECT_EQ(Display(SXMPMeta(*access), Prop(kXMP_NS_XMP, "Rating")), "4");
    SetValue(*access, Prop(kXMP_NS_XMP, "Rating"), "5");
    SetValue(*access, Prop(kXMP_NS_DC, "title"), "Base title");
    access.AddChange(Prop(kXMP_NS_XMP, "Rating"));
    access.AddChange(Prop(kXMP_NS_DC, "title"));
  }
  EXPECT_EQ(Display(owner->Stored(), Prop(kXMP_NS_XMP, "Rating")), "5");
  EXPECT_EQ(ExifTool({files[0]}, "${XMP:Title}\t${XMP:Rating}").at(0), "Base title\t-");
}

}  // namespace
}  // namespace velttest
