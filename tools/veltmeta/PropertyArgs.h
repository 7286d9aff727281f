#pragma once

// What `veltmeta get` and `veltmeta set` share: the library session, property arguments
// ("dc:creator[2]", "xmpMM:DerivedFrom/stRef:documentID") turned into Paths, the leaves of
// a property, and the providers the two commands read and write media files through.

#include <memory>
#include <string>
#include <vector>

#include "Session.h"
#include "veltmetadata/AggregateProvider.h"
#include "veltmetadata/Assertions.h"
#include "veltmetadata/FileProvider.h"
#include "veltmetadata/Path.h"

namespace veltmeta {

// Starts the library for one command and collects its assertions instead of printing them,
// from before the library starts until after it stops.
class ToolSession {
 public:
  ToolSession() = default;
  // The assertions raised since the last call, and forgets them.
  std::vector<veltmetadata::AssertionReport> TakeAssertions();

 private:
  // Installs the collecting assertion handler for its lifetime.
  struct Collector {
    Collector();
    ~Collector();
    Collector(const Collector&) = delete;
    Collector& operator=(const Collector&) = delete;
  };
  Collector mCollector;  // declared first: set before the library starts, removed after it stops
  Session mLibrary;
};

// True when `arg` starts with a registered prefix and a colon ("dc:title=x", "exif:...").
bool StartsWithKnownPrefix(const std::string& arg);

// Builds the Path of a property argument: PREFIX:NAME, then any of "[N]" (an item of a bag
// or seq, 1-based) and "/PREFIX:FIELD" (a field of a structure). Returns "" on success, or
// the error to print (unknown prefix or property, field of a non-structure, index into a
// non-array).
std::string ParseProperty(const std::string& text, veltmetadata::Path* path);

// The text a Path is shown as: "dc:title", "xmpMM:DerivedFrom/stRef:documentID".
std::string PropertyLabel(const veltmetadata::Path& path);

// The leaves below a Path: the Path itself when it is no structure; the fields of a
// structure, recursively; for an array of structures, the fields of each item `meta` holds.
std::vector<veltmetadata::Path> LeafPaths(__XMPMeta__* meta, const veltmetadata::Path& path);

// Checks a media file before anything is read or written: it exists, is a regular readable
// file and (with `forWrite`) writable, and a file handler takes it. Returns "" or the error.
std::string CheckMediaFile(const std::string& file, bool forWrite);

// A file provider that remembers whether its last write failed. A file without XMP starts
// with empty metadata (the library's FileProvider leaves such a file without any), so that
// `set` can add the first properties.
class ToolFileProvider : public veltmetadata::FileProvider {
 public:
  // `emptyWhenNoXMP`: start with empty metadata when the file holds no XMP.
  ToolFileProvider(const std::string& file, bool emptyWhenNoXMP, ToolSession& session);
  const std::string& File() const { return mFile; }
  // The reason the last write-back failed, or "" when it succeeded (or never ran).
  const std::string& WriteError() const { return mWriteError; }
  bool HadXMP() const { return mHadXMP; }
  // Why the file's XMP could not be read (a damaged packet), or "".
  const std::string& ReadError() const { return mReadError; }

 protected:
  void WriteChanges(const std::vector<veltmetadata::Path>& changes) override;

 private:
  std::string mFile;
  ToolSession& mSession;
  std::string mWriteError;
  std::string mReadError;
  bool mHadXMP = false;
};

// One provider per file, each of them under one aggregate.
struct ToolProviders {
  std::vector<std::shared_ptr<ToolFileProvider>> mFiles;
  std::shared_ptr<veltmetadata::AggregateProvider> mAggregate;
};
ToolProviders OpenProviders(const std::vector<std::string>& files, bool emptyWhenNoXMP,
                            ToolSession& session);

}  // namespace veltmeta
