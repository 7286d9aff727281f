// MRU lists: the file round trip, the merge rules, hostile files and failed saves.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "veltcore/Files.h"
#include "veltmetadata/MRULists.h"
#include "veltmetadata/Namespaces.h"

namespace {

using veltmetadata::MRUListMap;
namespace fs = std::filesystem;

fs::path MRUFile() {
  return fs::path(veltcore::string::UTF16to8(veltmetadata::MRUFilePath()));
}

class MRUListsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    veltmetadata::ClearMRUList();
    ASSERT_TRUE(veltmetadata::RemoveMRUFile());
  }
  void TearDown() override {
    veltcore::filesupport::SafeSave::SetFailureHook(nullptr);
    veltmetadata::ClearMRUList();
  }

  // Loads `bytes` as the MRU file into an empty map and returns what was merged.
  static MRUListMap LoadFrom(const std::string& bytes) {
    velttest::WriteFile(MRUFile(), bytes);
    veltmetadata::ClearMRUList();
    veltmetadata::LoadMRUFile();
    return veltmetadata::GetMRULists();
  }
};

const std::string kHead = std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n") +
                          "<xfi:fileinfo xmlns:xfi=\"" + veltmetadata::kFileInfoNamespace +
                          "\"><xfi:mruLists>";
const std::string kTail = "</xfi:mruLists></xfi:fileinfo>";

TEST_F(MRUListsTest, SavedListsLoadBackWithoutCarriageReturns) {
  veltmetadata::UpdateMRULists("dc:title", {u"B", u"A"});
  veltmetadata::UpdateMRULists(
      "k<&\"'>", {u"line1\r\nline2", u"<b> & 'c' \"d\"", u"\U0001F600 x", u"", u"   "});
  veltmetadata::UpdateMRULists("empty", {});
  veltmetadata::UpdateMRULists("\xC3\xA9t\xC3\xA9", {u"\u00E9\u4E2D"});
  ASSERT_TRUE(veltmetadata::SerializeMRUList());

  // The written form: keys in byte order, one element per list, no indentation.
  const std::string text = velttest::ReadFile(MRUFile());
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(text.rfind(kHead + "<xfi:mruList key=\"dc:title\"><item>B</item><item>A</item>"
                               "</xfi:mruList><xfi:mruList key=\"empty\"/><xfi:mruList key=\"k",
                       0),
            0U)
      << text;

  MRUListMap expected = veltmetadata::GetMRULists();
  expected["k<&\"'>"].front() = u"line1\nline2";
  veltmetadata::ClearMRUList();
  veltmetadata::LoadMRUFile();
  EXPECT_EQ(veltmetadata::GetMRULists(), expected);

  // Python's XML reader agrees on every key and entry.
  const std::string check = velttest::RunCommand(
      "python3 -c \"import xml.etree.ElementTree as E;r=E.parse('" + MRUFile().string() +
      "').getroot();print('|'.join(l.get('key')+'='+','.join(i.text or '' for i in l) for l in "
      "r[0]))\"");
  EXPECT_EQ(check,
            "dc:title=B,A|empty=|k<&\"'>=line1\nline2,<b> & 'c' \"d\",\xF0\x9F\x98\x80 x,,"
            "   |\xC3\xA9t\xC3\xA9=\xC3\xA9\xE4\xB8\xAD\n");
}

TEST_F(MRUListsTest, MemoryThenFirstListInFileWins) {
  // No file: nothing changes and the folder is created.
  fs::remove_all(MRUFile().parent_path());
  veltmetadata::UpdateMRULists("mine", {u"memory"});
  veltmetadata::LoadMRUFile();
  EXPECT_TRUE(fs::is_directory(MRUFile().parent_path()));
  EXPECT_EQ(veltmetadata::GetMRULists(), (MRUListMap{{"mine", {u"memory"}}}));

  velttest::WriteFile(MRUFile(), kHead +
                                     "<xfi:mruList key=\"mine\"><item>file</item></xfi:mruList>"
                                     "<other/><xfi:mruList key=\"dup\"><item>first</item><x>y</x>"
                                     "</xfi:mruList><xfi:mruList key=\"dup\"><item>second</item>"
                                     "</xfi:mruList>" +
                                     kTail);
  veltmetadata::LoadMRUFile();
  EXPECT_EQ(veltmetadata::GetMRULists(), (MRUListMap{{"dup", {u"first"}}, {"mine", {u"memory"}}}));

  // An update replaces a whole list; an empty list keeps its key.
  veltmetadata::UpdateMRULists("dup", {});
  EXPECT_EQ(veltmetadata::GetMRULists().at("dup"), std::list<veltcore::UTF16String>{});
  // Clearing leaves the file; an empty map saves as an empty element that loads as nothing.
  veltmetadata::ClearMRUList();
  EXPECT_TRUE(fs::exists(MRUFile()));
  ASSERT_TRUE(veltmetadata::SerializeMRUList());
  EXPECT_EQ(velttest::ReadFile(MRUFile()),
            kHead.substr(0, kHead.size() - 14) + "<xfi:mruLists/></xfi:fileinfo>");
  veltmetadata::LoadMRUFile();
  EXPECT_TRUE(veltmetadata::GetMRULists().empty());
  EXPECT_TRUE(veltmetadata::RemoveMRUFile());
  EXPECT_FALSE(fs::exists(MRUFile()));
}

TEST_F(MRUListsTest, HostileFilesAreIgnoredAndOverwrittenByTheNextSave) {
  const std::string good = "<xfi:mruList key=\"a\"><item>kept</item></xfi:mruList>";
  const MRUListMap none;
  const MRUListMap kept{{"a", {u"kept"}}};
  std::string deep = "<xfi:mruList key=\"d\"><item>";
  for (int i = 0; i < 200000; ++i)
    deep += "<x>";
  EXPECT_EQ(LoadFrom(kHead + good + deep), none);  // nesting that would exhaust the stack
  EXPECT_EQ(LoadFrom(kHead + good + "<xfi:mruList key=\"big\"><item>" +
                     std::string(4 * 1024 * 1024, 'x') + "</item></xfi:mruList>" + kTail),
            none);
  EXPECT_EQ(LoadFrom("<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"aaaa\">"
                     "<!ENTITY b \"&a;&a;&a;&a;\">]>" +
                     kHead.substr(kHead.find('\n') + 1) + good + kTail),
            none);
  EXPECT_EQ(LoadFrom(kHead + good + "<xfi:mruList key=\"b\"><item>\xFF\xFE</item></xfi:mruList>" +
                     "<xfi:mruList key=\"c\"><item>lost</item></xfi:mruList>" + kTail),
            kept);
  EXPECT_EQ(LoadFrom(kHead + good + "<xfi:mruList><item>no key</item></xfi:mruList>" + kTail),
            kept);
  EXPECT_EQ(LoadFrom(kHead + good), none);  // truncated
  EXPECT_EQ(LoadFrom("<foreign><xfi:mruLists/></foreign>"), none);
  EXPECT_EQ(LoadFrom(""), none);
  EXPECT_EQ(LoadFrom(std::string("\0\x01<<>>\"", 7)), none);

  veltmetadata::UpdateMRULists("new", {u"value"});
  ASSERT_TRUE(veltmetadata::SerializeMRUList());
  EXPECT_EQ(LoadFrom(velttest::ReadFile(MRUFile())), (MRUListMap{{"new", {u"value"}}}));
}

TEST_F(MRUListsTest, FailedSaveKeepsTheOldFile) {
  veltmetadata::UpdateMRULists("k", {u"old"});
  ASSERT_TRUE(veltmetadata::SerializeMRUList());
  const std::string before = velttest::ReadFile(MRUFile());
  veltmetadata::UpdateMRULists("k", {u"new"});

  for (const char* step : {"flush", "rename"}) {
    veltcore::filesupport::SafeSave::SetFailureHook(
        [step](std::string_view point) { return point == step; });
    EXPECT_FALSE(veltmetadata::SerializeMRUList()) << step;
    EXPECT_EQ(velttest::ReadFile(MRUFile()), before) << step;
    EXPECT_EQ(std::distance(fs::directory_iterator(MRUFile().parent_path()), {}), 1) << step;
  }
  veltcore::filesupport::SafeSave::SetFailureHook(nullptr);

  // A folder the process may not write: as root, a child that drops to an unprivileged user.
  const fs::path folder = MRUFile().parent_path();
  fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove);
  int saved = -1;
  if (::geteuid() == 0) {
    const pid_t child = ::fork();
    if (child == 0) {
      ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && !veltmetadata::SerializeMRUList()
                  ? 0
                  : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    saved = WIFEXITED(status) ? WEXITSTATUS(status) : 2;
  } else {
    saved = veltmetadata::SerializeMRUList() ? 1 : 0;
  }
  fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(saved, 0);
  EXPECT_EQ(velttest::ReadFile(MRUFile()), before);
}

}  // namespace
