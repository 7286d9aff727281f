#pragma once

// BufferProviderImpl: metadata parsed from an XMP packet in memory. The buffer is parsed
// at once and not kept; on every write-back the metadata is serialised with the toolkit's
// default options and handed to the subclass's WriteBuffer, which stores it where its
// buffer lives.

#include <cstddef>
#include <vector>

#include "veltcore/Export.h"
#include "veltmetadata/TypicalProvider.h"

namespace veltmetadata {

class VELT_EXPORT BufferProviderImpl : public TypicalProviderImpl {
 public:
  ~BufferProviderImpl() override;

 protected:
  // Starts without metadata, then ResetBuffer(buffer, length).
  explicit BufferProviderImpl(const unsigned char* buffer = nullptr, std::size_t length = 0);

  // Parses the whole buffer as one packet and replaces the metadata; a null or empty
  // buffer, or one that does not parse (reported as an assertion naming the toolkit's
  // message), leaves the provider with no metadata at all. Always notifies.
  void ResetBuffer(const unsigned char* buffer, std::size_t length);

  // Serialises the metadata and passes it to WriteBuffer. Failures become assertions.
  void WriteChanges(const std::vector<Path>& changes) override;

  // Receives the packet of each write-back together with the changed paths. A WriteBuffer
  // that calls ResetBuffer reloads without notifying (the provider is writing).
  virtual void WriteBuffer(const std::vector<Path>& changes, const char* packet,
                           std::size_t length) = 0;
};

}  // namespace veltmetadata
