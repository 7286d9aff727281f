// Metadata parsed from a packet in memory and serialised back on every write.

#include "veltmetadata/BufferProvider.h"

#include <string>

#include "ProviderAssert.h"
#include "xmp/SXMPMeta.h"

namespace veltmetadata {

BufferProviderImpl::BufferProviderImpl(const unsigned char* buffer, std::size_t length)
    : TypicalProviderImpl(nullptr) {
  ResetBuffer(buffer, length);
}

BufferProviderImpl::~BufferProviderImpl() = default;

void BufferProviderImpl::ResetBuffer(const unsigned char* buffer, std::size_t length) {
  SXMPMeta meta;
  bool parsed = false;
  if (buffer != nullptr && length != 0) {
    try {
      meta.ParseFromBuffer(reinterpret_cast<const char*>(buffer),
                           static_cast<XMP_StringLen>(length), 0);
      parsed = true;
    } catch (...) {
      VELT_PROVIDER_ASSERT(
          "veltmetadata::BufferProviderImpl::ResetBuffer", "false",
          providers::CurrentExceptionText("BufferProviderImpl::ResetBuffer xmp exception: ",
                                          "BufferProviderImpl::ResetBuffer std exception: ", ""));
    }
  }
  ResetMetaData(parsed ? meta.GetInternalRef() : nullptr, true);
}

void BufferProviderImpl::WriteChanges(const std::vector<Path>& changes) {
  __XMPMeta__* meta = MetaDataAccess();
  if (meta == nullptr) {
    VELT_PROVIDER_ASSERT("veltmetadata::BufferProviderImpl::WriteChanges", "meta", "");
    return;
  }
  try {
    std::string packet;
    SXMPMeta(meta).SerializeToBuffer(&packet, 0, 0, "", "", 0);
    WriteBuffer(changes, packet.data(), packet.size());
  } catch (...) {
    VELT_PROVIDER_ASSERT(
        "veltmetadata::BufferProviderImpl::WriteChanges", "false",
        providers::CurrentExceptionText("BufferProviderImpl::WriteChanges xmp exception: ",
                                        "BufferProviderImpl::WriteChanges std exception: ", ""));
  }
}

}  // namespace veltmetadata
