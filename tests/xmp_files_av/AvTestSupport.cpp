#include "AvTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <vector>

#include "TestSupport.h"
#include "xmp/XMP_Warnings.h"

namespace avtest {

std::string MakePacket(const std::string& title, std::size_t padding) {
  std::string packet =
      "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
      "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
      "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title><rdf:Alt><rdf:li "
      "xml:lang=\"x-default\">" +
      title + "</rdf:li></rdf:Alt></dc:title></rdf:Description></rdf:RDF></x:xmpmeta>\n";
  packet += std::string(padding, ' ');
  packet += "\n<?xpacket end=\"w\"?>";
  return packet;
}

std::filesystem::path CopySample(const std::filesystem::path& dir, const std::string& relative) {
  std::filesystem::path source = velttest::DataFile("xmp_files/" + relative);
  std::filesystem::path target = dir / source.filename();
  std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
  return target;
}

std::string Quote(const std::filesystem::path& p) {
  return "'" + p.string() + "'";
}

std::string Codec::Read(const std::filesystem::path& file) const {
  xmpfiles::DiskStorage storage(file.string(), false);
  auto found = read(storage);
  return found ? found->mPacket : "";
}

std::uint64_t Codec::Write(const std::filesystem::path& file, const std::string& packet) const {
  return WithStorage(file, [&](xmpfiles::Storage& s) { write(s, xmpfiles::PacketText(packet)); });
}

std::vector<ExifToolView> ExifToolRead(const std::vector<std::filesystem::path>& files) {
  std::string command = "exiftool -q -q -f -p '${XMP-dc:Title}\t${Warning}${Error}'";
  for (const auto& f : files)
    command += " " + Quote(f);
  std::istringstream in(velttest::RunCommand(command));
  std::vector<ExifToolView> views;
  for (std::string line; std::getline(in, line);) {
    std::size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string warning = line.substr(tab + 1);
    // With -f a missing tag prints "-"; two missing tags print "--".
    if (warning == "--") warning = "-";
    if (warning.size() > 1 && warning.back() == '-') warning.pop_back();
    views.push_back({line.substr(0, tab), warning});
  }
  return views;
}

void ExifToolSetTitle(const std::filesystem::path& file, const std::string& title) {
  velttest::RunCommand("exiftool -q -overwrite_original '-XMP-dc:Title=" + title + "' " +
                       Quote(file));
}

std::string ExifToolTitles(const std::filesystem::path& file) {
  return velttest::RunCommand("exiftool -q -a -s3 -XMP-dc:Title " + Quote(file));
}

void ExifToolThenUs(const std::filesystem::path& dir, const std::string& sample, const Codec& codec,
                    const std::function<std::string(const std::filesystem::path&)>& media,
                    const std::function<std::string(const std::filesystem::path&)>& decode) {
  SCOPED_TRACE(sample);
  auto file = CopySample(dir, sample);
  ExifToolSetTitle(file, "Written by ExifTool");
  EXPECT_NE(codec.Read(file).find("Written by ExifTool"), std::string::npos);
  const std::string kept = media(file), decoded = decode ? decode(file) : "";
  auto before = dir / ("exiftool_" + file.filename().string());
  std::filesystem::copy_file(file, before);
  codec.Write(file, MakePacket(std::string(5000, 'x')));
  EXPECT_TRUE(media(file) == kept);
  if (decode) {
    EXPECT_EQ(decode(file), decoded);
  }
  auto views = ExifToolRead({before, file});
  ASSERT_EQ(views.size(), 2u);
  EXPECT_EQ(views[0].title, "Written by ExifTool");
  EXPECT_EQ(views[1].warning, views[0].warning);
  // One XMP title: the packet ExifTool wrote is gone, not left beside ours.
  EXPECT_EQ(ExifToolTitles(file), std::string(5000, 'x') + "\n");
}

std::string IsoMediaBytes(const std::filesystem::path& file) {
  std::string bytes = velttest::ReadFile(file);
  std::string media;
  std::size_t pos = 0;
  while (pos + 8 <= bytes.size()) {
    auto u8 = [&](std::size_t i) {
      return static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[i]));
    };
    std::uint64_t size = u8(pos) << 24 | u8(pos + 1) << 16 | u8(pos + 2) << 8 | u8(pos + 3);
    std::size_t header = 8;
    if (size == 1 && pos + 16 <= bytes.size()) {
      size = 0;
      for (int i = 0; i < 8; ++i)
        size = size << 8 | u8(pos + 8 + static_cast<std::size_t>(i));
      header = 16;
    } else if (size == 0) {
      size = bytes.size() - pos;
    }
    if (size < header || size > bytes.size() - pos) break;
    if (bytes.compare(pos + 4, 4, "mdat") == 0) media += bytes.substr(pos + header, size - header);
    pos += size;
  }
  return media;
}

namespace {

// The top-level chunks of the first form: RIFF (little-endian sizes) or IFF (big-endian).
template <typename Visit>
void ScanForm(const std::string& bytes, bool bigEndian, Visit visit) {
  auto u32 = [&](std::size_t i) {
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      std::size_t at = i + static_cast<std::size_t>(bigEndian ? k : 3 - k);
      v = v << 8 | static_cast<unsigned char>(bytes[at]);
    }
    return v;
  };
  if (bytes.size() < 12) return;
  std::size_t end = std::min<std::size_t>(bytes.size(), 8 + std::size_t{u32(4)});
  std::size_t pos = 12;
  while (pos + 8 <= end) {
    std::size_t size = u32(pos + 4);
    if (size > end - pos - 8) break;
    visit(bytes.substr(pos, 4), bytes.substr(pos + 8, size));
    pos += 8 + size + (size & 1);
  }
}

template <typename Visit>
void ScanRiff(const std::string& bytes, Visit visit) {
  ScanForm(bytes, false, visit);
}

}  // namespace

std::string RiffMediaBytes(const std::filesystem::path& file) {
  std::string media;
  ScanRiff(velttest::ReadFile(file), [&](const std::string& id, const std::string& payload) {
    if (id != "_PMX" && id != "JUNK") media += id + payload;
  });
  return media;
}

std::string RiffChunkIds(const std::filesystem::path& file) {
  std::string ids;
  ScanRiff(velttest::ReadFile(file), [&](const std::string& id, const std::string&) {
    ids += (ids.empty() ? "" : " ") + id;
  });
  return ids;
}

std::uint32_t RiffSize(const std::filesystem::path& file) {
  std::string bytes = velttest::ReadFile(file);
  std::uint32_t v = 0;
  for (int k = 7; k >= 4 && bytes.size() >= 8; --k)
    v = v << 8 | static_cast<unsigned char>(bytes[static_cast<std::size_t>(k)]);
  return v;
}

std::string IffMediaBytes(const std::filesystem::path& file) {
  std::string media;
  ScanForm(velttest::ReadFile(file), true, [&](const std::string& id, const std::string& payload) {
    if (id == "    " || id == "FLLR" || (id == "APPL" && payload.starts_with("XMP "))) return;
    media += id + payload;
  });
  return media;
}

std::string IffChunkIds(const std::filesystem::path& file) {
  std::string ids;
  ScanForm(velttest::ReadFile(file), true, [&](const std::string& id, const std::string& payload) {
    ids += (ids.empty() ? "" : " ") + (id == "APPL" ? id + ":" + payload.substr(0, 4) : id);
  });
  return ids;
}

std::string FormChunk(const std::string& id, const std::string& payload, bool bigEndian) {
  std::string size(4, '\0');
  for (int i = 0; i < 4; ++i)
    size[static_cast<std::size_t>(bigEndian ? 3 - i : i)] =
        static_cast<char>(payload.size() >> (8 * i));
  return id + size + payload + (payload.size() % 2 ? std::string(1, '\0') : "");
}

void AppendToForm(const std::filesystem::path& file, const std::string& chunks, bool bigEndian) {
  std::string bytes = velttest::ReadFile(file);
  bytes.resize(std::min<std::size_t>(bytes.size(), 8 + FormSize(file, bigEndian)));
  bytes.resize(bytes.size() + bytes.size() % 2, '\0');
  bytes += chunks;
  const std::uint32_t size = static_cast<std::uint32_t>(bytes.size() - 8);
  for (int i = 0; i < 4; ++i)
    bytes[4 + static_cast<std::size_t>(bigEndian ? 3 - i : i)] = static_cast<char>(size >> (8 * i));
  velttest::WriteFile(file, bytes);
}

std::uint32_t FormSize(const std::filesystem::path& file, bool bigEndian) {
  std::string bytes = velttest::ReadFile(file);
  std::uint32_t v = 0;
  for (int k = 4; k < 8 && bytes.size() >= 8; ++k)
    v = v << 8 |
        static_cast<unsigned char>(bytes[static_cast<std::size_t>(bigEndian ? k : 11 - k)]);
  return v;
}

std::string SoxHash(const std::filesystem::path& file) {
  return velttest::RunCommand("sox " + Quote(file) + " -t raw - | md5sum");
}

std::string MediaHashes(const std::filesystem::path& file) {
  int status = 0;
  std::string out = velttest::RunCommand("ffmpeg -hide_banner -loglevel error -i " + Quote(file) +
                                             " -map 0 -c copy -f framemd5 - 2>&1 | grep -v '^#'",
                                         &status);
  return out;
}

std::uint64_t WithStorage(const std::filesystem::path& file,
                          const std::function<void(xmpfiles::Storage&)>& write) {
  xmpfiles::DiskStorage storage(file.string(), true);
  write(storage);
  storage.Flush();
  return storage.BytesWritten();
}

std::string StagePacket(int stage) {
  static const std::string titles[] = {"First title", std::string(3000, 'L') + " long", "Short"};
  static const std::size_t paddings[] = {51, 2000, 0};
  return MakePacket(titles[stage], paddings[stage]);
}

void RunStages(const std::filesystem::path& dir, const std::vector<std::string>& samples,
               const Handler& handler,
               const std::function<std::string(const std::filesystem::path&)>& decoder,
               const ExifToolReader& exiftool) {
  std::vector<std::filesystem::path> checked;  // per sample: the original, then each stage
  std::vector<int> stages;
  for (const std::string& sample : samples) {
    SCOPED_TRACE(sample);
    auto file = CopySample(dir, sample);
    checked.push_back(velttest::DataFile("xmp_files/" + sample));
    stages.push_back(-1);
    auto decode = decoder ? decoder : MediaHashes;
    const std::string hashes = decode(file);
    const std::string media = handler.media(file);
    ASSERT_FALSE(hashes.empty());
    ASSERT_FALSE(media.empty());
    EXPECT_EQ(handler.codec.Read(file), "");
    for (int stage = 0; stage < 3; ++stage) {
      const std::uint64_t sizeBefore = std::filesystem::file_size(file);
      const std::string packet = StagePacket(stage);
      std::uint64_t written = handler.codec.Write(file, packet);
      std::string found = handler.codec.Read(file);
      EXPECT_NE(found.find(packet.substr(packet.find("x-default"), 60)), std::string::npos);
      EXPECT_TRUE(handler.media(file) == media) << "media bytes changed";
      handler.check(file, stage, sizeBefore, written);
      auto copy = dir / (std::to_string(stage) + "_" + file.filename().string());
      std::filesystem::copy_file(file, copy);
      checked.push_back(copy);
      stages.push_back(stage);
    }
    EXPECT_EQ(decode(file), hashes);
  }
  auto views = exiftool ? exiftool(checked) : ExifToolRead(checked);
  ASSERT_EQ(views.size(), checked.size());
  std::string originalWarning;
  for (std::size_t i = 0; i < views.size(); ++i) {
    SCOPED_TRACE(checked[i].string());
    if (stages[i] < 0) {
      originalWarning = views[i].warning;
      EXPECT_EQ(views[i].title, "-");
      continue;
    }
    std::string packet = StagePacket(stages[i]);
    std::size_t begin = packet.find("x-default\">") + 11;
    EXPECT_EQ(views[i].title, packet.substr(begin, packet.find('<', begin) - begin));
    EXPECT_EQ(views[i].warning, originalWarning);
  }
}

void ForEachDamagedCopy(const std::string& bytes,
                        const std::function<void(const xmpfiles::Bytes&)>& action) {
  const xmpfiles::Bytes whole(bytes.begin(), bytes.end());
  for (std::size_t cut = 0; cut < whole.size(); cut += 1 + cut / 64) {
    action(xmpfiles::Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
  }
  const std::uint32_t hostile[] = {0, 1, 7, 0x7FFFFFFF, 0xFFFFFFFF};
  for (std::size_t at = 0; at + 4 <= whole.size() && at < 4096; at += 4) {
    for (std::uint32_t value : hostile) {
      xmpfiles::Bytes copy = whole;
      for (int i = 0; i < 4; ++i)
        copy[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
      action(copy);
    }
  }
}

int CheckDamagedCopies(const std::string& bytes, const Codec& codec,
                       std::optional<xmpfiles::ErrorKind> kind) {
  int reads = 0;
  ForEachDamagedCopy(bytes, [&](const xmpfiles::Bytes& damaged) {
    xmpfiles::MemoryStorage storage(damaged);
    try {
      if (codec.read(storage)) ++reads;
    } catch (const xmpfiles::FileError& e) {
      if (kind) {
        EXPECT_EQ(e.Kind(), *kind) << e.what();
      }
    }
    try {
      codec.write(storage, xmpfiles::PacketText(MakePacket("Replaced", 3001)));
      auto found = codec.read(storage);
      ASSERT_TRUE(found);
      EXPECT_NE(found->mPacket.find(">Replaced<"), std::string::npos);
    } catch (const xmpfiles::FileError& e) {
      if (kind) {
        EXPECT_EQ(e.Kind(), *kind) << e.what();
      }
      EXPECT_TRUE(storage.Data() == damaged) << "a failed write changed the file";
    }
  });
  return reads;
}

void ExpectFailuresChangeNothing(const std::filesystem::path& file,
                                 std::initializer_list<const char*> points,
                                 const std::function<void()>& write) {
  const std::string original = velttest::ReadFile(file);
  for (const char* point : points) {
    SCOPED_TRACE(point);
    xmpfiles::SetFailureHook(
        [point = std::string(point)](std::string_view at) { return at == point; });
    EXPECT_THROW(write(), xmpfiles::FileError);
    xmpfiles::SetFailureHook(nullptr);
    EXPECT_TRUE(velttest::ReadFile(file) == original);
  }
}

std::vector<std::string> Warnings(const std::function<void()>& body) {
  std::vector<std::string> warnings;
  XMP_WarningScope scope([&](const std::string& w) { warnings.push_back(w); });
  body();
  return warnings;
}

}  // namespace avtest
