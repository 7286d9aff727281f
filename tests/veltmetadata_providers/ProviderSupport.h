#pragma once

// Providers for the provider tests: a buffer provider that keeps its packets in memory, a
// listener that counts, and the values fixture (test schema with structures, packets).

#include <memory>
#include <string>
#include <vector>

#include "ValuesFixture.h"
#include "veltmetadata/BufferProvider.h"
#include "veltmetadata/MetaDataAccess.h"

namespace velttest {

// A buffer provider whose "buffer" is a string; every write-back replaces it.
class MemoryProvider : public veltmetadata::BufferProviderImpl {
 public:
  explicit MemoryProvider(const std::string& packet = "")
      : BufferProviderImpl(reinterpret_cast<const unsigned char*>(packet.data()), packet.size()),
        mPacket(packet) {}
  static std::shared_ptr<MemoryProvider> Of(const SXMPMeta& meta) {
    std::string packet;
    meta.SerializeToBuffer(&packet, kXMP_OmitPacketWrapper);
    return std::make_shared<MemoryProvider>(packet);
  }
  void Reset(const std::string& packet) {
    ResetBuffer(reinterpret_cast<const unsigned char*>(packet.data()), packet.size());
  }
  bool QueryPathStatus(const veltmetadata::Path& path,
                       veltmetadata::PathStatus status) const override {
    return !(mReadOnly && status == veltmetadata::kPathStatus_Writable) &&
           BufferProviderImpl::QueryPathStatus(path, status);
  }
  bool WritesOwnChangeList() override { return mWritesOwnChangeList; }
  // The stored packet parsed, for checking what was written.
  SXMPMeta Stored() const {
    return SXMPMeta(mPacket.data(), static_cast<XMP_StringLen>(mPacket.size()));
  }
  using BufferProviderImpl::MetaDataChanged;

  std::string mPacket;
  int mWrites = 0;
  std::vector<veltmetadata::Path> mChanges;
  bool mReadOnly = false;
  bool mWritesOwnChangeList = false;

 protected:
  void WriteBuffer(const std::vector<veltmetadata::Path>& changes, const char* packet,
                   std::size_t length) override {
    ++mWrites;
    mChanges = changes;
    mPacket.assign(packet, length);
  }
};

// A listener counting its calls; `onCall` runs inside each call.
struct CountingListener {
  int mCalls = 0;
  std::function<void()> mOnCall;
  veltmetadata::MetaDataChangedListener mListener =
      std::make_shared<veltmetadata::MetaDataChangedFunction>([this](__XMPMeta__*) {
        ++mCalls;
        if (mOnCall) mOnCall();
      });
};

// One edit through an update access: each path is set to its value, or deleted when the value
// is empty, and noted as changed. False when a write or a deletion failed.
inline bool Edit(const std::shared_ptr<veltmetadata::MetaDataProvider>& provider,
                 const std::vector<std::pair<veltmetadata::Path, std::string>>& values) {
  veltmetadata::MetaDataUpdateAccess access(provider);
  bool done = true;
  for (const auto& [path, value] : values) {
    done = (value.empty() ? veltmetadata::DeleteValue(*access, path)
                          : veltmetadata::SetValue(*access, path, value)) &&
           done;
    access.AddChange(path);
  }
  return done;
}

// One property's stored text in a metadata handle ("<absent>" when missing).
inline std::string Stored(__XMPMeta__* meta, const std::string& ns, const std::string& path) {
  std::string value;
  if (meta == nullptr || !SXMPMeta(meta).GetProperty(ns, path, &value)) return "<absent>";
  return value;
}

}  // namespace velttest
