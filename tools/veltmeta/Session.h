#pragma once

// Starts what a command needs for the command's whole life and stops it on every way out,
// thrown exceptions included. Every command starts the library (or, for commands that only
// parse packets, the XMP core) through one of these.

namespace veltmeta {

class Session {
 public:
  enum class Scope {
    kLibrary,  // veltmetadata::Initialize / Terminate: definitions, toolkit, formatters
    kXMPCore,  // the XMP core alone: parsing and serialising packets
  };
  explicit Session(Scope scope = Scope::kLibrary);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

 private:
  Scope mScope;
  bool mStarted = true;  // the XMP core may refuse to start; then it is not stopped
};

}  // namespace veltmeta
