#include "veltcore/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "TestSupport.h"

using namespace veltcore;
using namespace veltcore::filesupport;

TEST(Files, FileAndDirQueries) {
  velttest::TempDir tmp;
  const Dir dir(tmp.Path());
  const File file = dir.GetFile(u"r\u00E9sum\u00E9.tar.xml");
  EXPECT_FALSE(file.Exists());
  ASSERT_TRUE(FileUtils::SimpleWriteStringToFile(file, "<x/>"));
  EXPECT_TRUE(file.Exists());
  EXPECT_EQ(file.GetName(), u"r\u00E9sum\u00E9.tar.xml");
  EXPECT_EQ(file.GetTitle(), u"r\u00E9sum\u00E9.tar");
  EXPECT_EQ(file.GetExtension(), u".xml");
  EXPECT_EQ(file.Parent().FullPathUTF8(), dir.FullPathUTF8());
  EXPECT_FALSE(Dir(tmp.Path() / "nope").Exists());

  const Dir sub = dir.SubDir("a/b/c");
  EXPECT_TRUE(sub.EnsureExists());
  EXPECT_TRUE(FileUtils::FileOrDirExists(sub.FullPath()));
  ASSERT_EQ(dir.SubDirs().size(), 1u);
  ASSERT_EQ(dir.Files().size(), 1u);  // sorted, files only
  EXPECT_TRUE(dir.SubDir("a").Delete());
  EXPECT_FALSE(sub.Exists());
  EXPECT_TRUE(Dir(tmp.Path() / "missing").Files().empty());

  EXPECT_TRUE(FileUtils::Copy(file, dir.GetFile("copy.xml")));
  EXPECT_EQ(*FileUtils::ReadFile(dir.GetFile("copy.xml")), "<x/>");
  EXPECT_FALSE(FileUtils::Copy(dir.GetFile("missing"), dir.GetFile("other")));
  EXPECT_FALSE(FileUtils::ReadFile(dir.GetFile("missing")).has_value());
  EXPECT_TRUE(FileUtils::RemoveFile(dir.GetFile("copy.xml")));
  EXPECT_FALSE(FileUtils::RemoveFile(dir.GetFile("copy.xml")));
  EXPECT_FALSE(FileUtils::SimpleWriteStringToFile(File(tmp.Path()), "into a folder"));

  std::int64_t time = -1;
  EXPECT_EQ(FileUtils::GetModifiedTime(file.FullPathUTF8(), time), 0);
  struct stat st {};
  ::stat(file.FullPathUTF8().c_str(), &st);
  EXPECT_EQ(time / 10000000, st.st_mtime);
  EXPECT_NE(FileUtils::GetModifiedTime((tmp / "missing").string(), time), 0);
  EXPECT_EQ(time, 0);

  IPlatformByteStream in(file);
  EXPECT_EQ(in.Length(), 4);
  EXPECT_EQ(in.ReadAll(), "<x/>");
  IPlatformByteStream none(dir.GetFile("missing"));
  EXPECT_EQ(none.Length(), -1);
}

TEST(Files, FoldersComeFromTheEnvironment) {
  EXPECT_EQ(Dir::PrefDir().FullPathUTF8(), std::string(std::getenv("VELTCORE_PREFS_DIR")));
  EXPECT_EQ(Dir::GlobalPrefDir().FullPathUTF8(), Dir::PrefDir().FullPathUTF8());
  EXPECT_EQ(DirHelper::SystemDir(44).FullPathUTF8(),
            std::string(std::getenv("VELTCORE_SYSTEM_DIR")));
  EXPECT_TRUE(DirHelper::SystemDir(7).FullPath().empty());
  EXPECT_EQ(commondirs::PluginsDir().FullPathUTF8(),
            std::string(std::getenv("VELTCORE_PLUGINS_DIR")));
}

TEST(Files, SafeSaveReplacesOnlyOnSuccessfulCommit) {
  velttest::TempDir tmp;
  const File target(tmp / "prefs.xml");
  ASSERT_TRUE(FileUtils::SimpleWriteStringToFile(target, "old"));
  ::chmod(target.FullPathUTF8().c_str(), 0640);

  for (const char* point : {"flush", "rename"}) {
    SafeSave::SetFailureHook([point](std::string_view p) { return p == point; });
    SafeSave save(target);
    ASSERT_TRUE(save.IsValid());
    ASSERT_TRUE(FileUtils::SimpleWriteStringToFile(save.TempFile(), "new"));
    EXPECT_FALSE(save.Commit()) << point;
    EXPECT_EQ(*FileUtils::ReadFile(target), "old") << point;
    EXPECT_EQ(Dir(tmp.Path()).Files().size(), 1u) << "temporary left behind after " << point;
  }
  SafeSave::SetFailureHook(nullptr);
  {
    SafeSave abandoned(target);
    FileUtils::SimpleWriteStringToFile(abandoned.TempFile(), "never committed");
  }
  EXPECT_EQ(*FileUtils::ReadFile(target), "old");
  EXPECT_EQ(Dir(tmp.Path()).Files().size(), 1u);

  SafeSave save(target);
  ASSERT_TRUE(FileUtils::SimpleWriteStringToFile(save.TempFile(), "new"));
  EXPECT_TRUE(save.Commit());
  EXPECT_FALSE(save.Commit());
  EXPECT_EQ(*FileUtils::ReadFile(target), "new");
  struct stat st {};
  ::stat(target.FullPathUTF8().c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  SafeSave nowhere(File(tmp / "no/such/folder/file"));
  EXPECT_FALSE(nowhere.IsValid());
  EXPECT_FALSE(nowhere.Commit());
}
