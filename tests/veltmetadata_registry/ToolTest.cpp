// The veltmeta commands of the registry, run as a user would; Python's JSON reader checks
// that the --json output is valid JSON with the documented keys.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

namespace {

using velttest::CheckJson;

std::string RunTool(const std::string& args, int* status, const std::string& env = "") {
  const velttest::ToolRun run = velttest::RunVeltmeta(args, env);
  *status = run.mStatus;
  return run.mOut;
}

TEST(RegistryTool, ListingAndErrorCommandsGiveValidJson) {
  VELT_REQUIRE_COMMANDS("python3");
  int status = -1;
  const std::string schemas = RunTool("schemas --json", &status);
  EXPECT_EQ(status, 0);
  const std::string dc = RunTool("schema dc --json", &status);
  EXPECT_EQ(status, 0);
  const std::string clean = RunTool("errors --json", &status);
  EXPECT_EQ(status, 0);

  // A broken custom file, whose name needs escaping in JSON.
  velttest::TempDir prefs;
  velttest::WriteFile(prefs / "Orvane/XMP/Custom File Info Panels/4.0/custom/broken \"one\".xml",
                      "<xmp_definitions><xmp_schema");
  const std::string broken =
      RunTool("errors --json", &status, "VELTCORE_PREFS_DIR='" + prefs.Path().string() + "'");
  EXPECT_EQ(status, 0);

  EXPECT_EQ(CheckJson({
                {schemas,
                 "s = [x for x in d if x['prefix'] == 'dc'][0]\n  "
                 "assert len(d) >= 30 and s['properties'] >= 15 and s['custom'] is False and "
                 "set(s) == {'namespace', 'prefix', 'properties', 'custom', 'dynamic'}, s"},
                {dc,
                 "p = {x['name']: x for x in d}\n  "
                 "assert p['subject']['type'] == 'bag' and 'Image' in p['type']['choices'], p"},
                {clean, "assert d == [], d"},
                {broken,
                 "assert len(d) == 1 and d[0]['kind'] == 0 and "
                 "d[0]['file'].endswith('broken \"one\".xml') and "
                 "d[0]['message'] == 'Error parsing definitions file: invalid XML.', d"},
            }),
            "");

  RunTool("schema no-such-prefix", &status);
  EXPECT_EQ(status, 2);
  RunTool("schemas --bogus", &status);
  EXPECT_EQ(status, 2);
}

TEST(RegistryTool, LeafPathsInTextJsonAndXml) {
  VELT_REQUIRE_COMMANDS("python3");
  int status = -1;
  const std::string json = RunTool("leafpaths xmpMM --json", &status);
  EXPECT_EQ(status, 0);
  const std::string qmt = RunTool("leafpaths crs --json", &status);
  const std::string text = RunTool("leafpaths xmpMM", &status);
  const std::string xml = RunTool("leafpaths xmpMM --xml", &status);
  EXPECT_EQ(status, 0);
  velttest::TempDir dir;
  velttest::WriteFile(dir / "leaves.xml", xml);
  velttest::WriteFile(dir / "leaves.txt", text);
  // The XML document and the text lines list the same leaves as the JSON array.
  const std::string same =
      "import xml.etree.ElementTree as E\n  "
      "x = sorted(e.findtext('description') for e in E.parse('" +
      (dir / "leaves.xml").string() +
      "').getroot())\n  "
      "t = [l.split('\\t') for l in open('" +
      (dir / "leaves.txt").string() +
      "').read().splitlines()]\n  "
      "assert x == sorted(p['path'] for p in d), x\n  "
      "assert t == [['xmpMM:' + p['path'], p['type']] for p in d], t[:3]\n  "
      "h = [p for p in d if p['path'].startswith('History/')]\n  "
      "assert h and all(p['internal'] and p['parent'] == 'xmpMM_ResourceEvent' for p in h), h";
  EXPECT_EQ(CheckJson({{json, same},
                       {qmt,
                        "c = [p for p in d if p['path'] == 'ToneCurve']\n  "
                        "assert len(c) == 1 and c[0]['ui'] is False, c"}}),
            "");

  for (const char* bad : {"leafpaths", "leafpaths nope", "leafpaths dc --json --xml",
                          "leafpaths dc --bogus", "leafpaths dc xmp"}) {
    EXPECT_EQ(RunTool(bad, &status), "") << bad;
    EXPECT_EQ(status, 2) << bad;
  }
}

}  // namespace
