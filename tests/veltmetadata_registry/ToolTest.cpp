// The veltmeta commands of the registry, run as a user would; Python's JSON reader checks
// that the --json output is valid JSON with the documented keys.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

namespace {

const std::string kTool = std::string(VELT_BINARY_DIR) + "/tools/veltmeta/veltmeta";

std::string RunTool(const std::string& args, int* status) {
  return velttest::RunCommand("'" + kTool + "' " + args + " 2>/dev/null", status);
}

// Exit status of a Python check reading the JSON text on stdin.
int CheckJson(const std::string& json, const std::string& check) {
  velttest::TempDir dir;
  velttest::WriteFile(dir / "out.json", json);
  int status = 0;
  velttest::RunCommand("python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); " + check +
                           "' '" + (dir / "out.json").string() + "'",
                       &status);
  return status;
}

TEST(RegistryTool, SchemasSchemaAndErrorsCommands) {
  if (!std::filesystem::exists(kTool) || !velttest::HaveCommand("python3")) {
    GTEST_SKIP() << "veltmeta or python3 missing";
  }
  int status = -1;
  const std::string schemas = RunTool("schemas --json", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(
      CheckJson(schemas,
                "s=[x for x in d if x[\"prefix\"]==\"dc\"][0]; "
                "assert len(d)>=30 and s[\"properties\"]>=15 and s[\"custom\"] is False "
                "and set(s)=={\"namespace\",\"prefix\",\"properties\",\"custom\",\"dynamic\"}"),
      0)
      << schemas;
  const std::string dc = RunTool("schema dc --json", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(CheckJson(dc,
                      "p={x[\"name\"]:x for x in d}; "
                      "assert p[\"subject\"][\"type\"]==\"bag\" and "
                      "\"Image\" in p[\"type\"][\"choices\"]"),
            0)
      << dc;
  const std::string errors = RunTool("errors --json", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(CheckJson(errors, "assert d==[]"), 0) << errors;

  RunTool("schema no-such-prefix", &status);
  EXPECT_EQ(status, 1);
  RunTool("schemas --bogus", &status);
  EXPECT_EQ(status, 2);
}

TEST(RegistryTool, ErrorsCommandReportsCustomFilesAsValidJson) {
  if (!std::filesystem::exists(kTool) || !velttest::HaveCommand("python3")) {
    GTEST_SKIP() << "veltmeta or python3 missing";
  }
  velttest::TempDir prefs;
  const auto folder = prefs.Path() / "Orvane/XMP/Custom File Info Panels/4.0/custom";
  std::filesystem::create_directories(folder);
  velttest::WriteFile(folder / "broken \"one\".xml", "<xmp_definitions><xmp_schema");
  int status = -1;
  const std::string json = velttest::RunCommand("VELTCORE_PREFS_DIR='" + prefs.Path().string() +
                                                    "' '" + kTool + "' errors --json 2>/dev/null",
                                                &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(CheckJson(json,
                      "assert len(d)==1 and d[0][\"kind\"]==0 and "
                      "d[0][\"file\"].endswith(\"broken \\\"one\\\".xml\") and "
                      "d[0][\"message\"]==\"Error parsing definitions file: invalid XML.\""),
            0)
      << json;
}

}  // namespace
