// The provider base and the buffer provider: notifications, commits with history, resets,
// dynamic schemas, and SetMinimalFloatValue.

#include <gtest/gtest.h>

#include "ProviderSupport.h"
#include "veltmetadata/DynamicSchemas.h"
#include "veltmetadata/Lifecycle.h"
#include "veltmetadata/MetaDataOperations.h"
#include "xmp/SXMPUtils.h"

namespace velttest {
namespace {

using namespace veltmetadata;

class ProviderTest : public ValuesFixture {};

TEST_F(ProviderTest, NotificationsRunOnASnapshotInRegistrationOrder) {
  auto provider = std::make_shared<MemoryProvider>();
  std::vector<std::string> order;
  CountingListener twice, selfRemoving, late;
  twice.mOnCall = [&] { order.push_back("twice"); };
  selfRemoving.mOnCall = [&] {
    order.push_back("self");
    provider->RemoveMetaDataChangedNotification(selfRemoving.mListener);
    provider->NotifyWhenMetaDataChanged(late.mListener);  // not called in this round
  };
  provider->NotifyWhenMetaDataChanged(twice.mListener);
  provider->NotifyWhenMetaDataChanged(nullptr);
  provider->NotifyWhenMetaDataChanged(std::make_shared<MetaDataChangedFunction>());
  provider->NotifyWhenMetaDataChanged(selfRemoving.mListener);
  provider->NotifyWhenMetaDataChanged(twice.mListener);
  provider->Reset("");
  EXPECT_EQ(order, (std::vector<std::string>{"twice", "self", "twice"}));
  EXPECT_EQ(late.mCalls, 0);

  provider->RemoveMetaDataChangedNotification(twice.mListener);  // the first registration only
  provider->Reset("");
  EXPECT_EQ(twice.mCalls, 3);
  EXPECT_EQ(selfRemoving.mCalls, 1);
  EXPECT_EQ(late.mCalls, 1);

  // A throwing listener stops the round and reaches the caller of the reset.
  auto thrower = std::make_shared<MetaDataChangedFunction>(
      [](__XMPMeta__*) { throw std::runtime_error("listener failed"); });
  provider->NotifyWhenMetaDataChanged(thrower);
  provider->NotifyWhenMetaDataChanged(late.mListener);
  EXPECT_THROW(provider->Reset(""), std::runtime_error);
  EXPECT_EQ(late.mCalls, 2);
}

TEST_F(ProviderTest, BufferResetsAndBadBuffers) {
  auto provider = std::make_shared<MemoryProvider>();
  EXPECT_EQ(*MetaDataReadAccess(provider), nullptr);
  EXPECT_EQ(*MetaDataReadAccess(nullptr), nullptr);
  CountingListener listener;
  provider->NotifyWhenMetaDataChanged(listener.mListener);
  provider->Reset("<x:xmpmeta>not rdf");
  EXPECT_EQ(*MetaDataReadAccess(provider), nullptr);  // no metadata, not empty metadata
  EXPECT_EQ(listener.mCalls, 1);
  ASSERT_EQ(mAssertions.Count(), 1u);
  EXPECT_EQ(mAssertions.All()[0].mFunction, "veltmetadata::BufferProviderImpl::ResetBuffer");
  EXPECT_EQ(
      mAssertions.All()[0].mMessage.rfind("BufferProviderImpl::ResetBuffer xmp exception: ", 0),
      0u);

  // An update access on a provider without metadata edits and writes nothing.
  {
    MetaDataUpdateAccess access(provider);
    access.AddChange(Prop(kXMP_NS_DC, "title"));
  }
  EXPECT_EQ(provider->mWrites, 0);
  provider->Reset(std::string("\0\0\0", 3));
  EXPECT_EQ(listener.mCalls, 2);
}

TEST_F(ProviderTest, CommitRecordsHistoryOncePerCommitAndHandsThePacketOn) {
  auto provider = MemoryProvider::Of(Packet("<dc:format>image/png</dc:format>"));
  const Path title = Prop(kXMP_NS_DC, "title");
  { MetaDataUpdateAccess access(provider); }  // nothing changed: nothing written, no history
  EXPECT_EQ(provider->mWrites, 0);
  {
    MetaDataUpdateAccess access(provider);
    EXPECT_FALSE(access.HasChanges());
    ASSERT_TRUE(SetValue(*access, title, "A title"));
    access.AddChange(title);
    access.AddChange(title);  // duplicates are kept and noted once
    Path unregistered{false, "http://example.com/unregistered/", "thing", "thing", ""};
    access.AddChange(unregistered);
  }
  ASSERT_EQ(provider->mWrites, 1);
  EXPECT_EQ(provider->mChanges.size(), 3u);
  SXMPMeta stored = provider->Stored();
  std::string value;
  stored.GetProperty(kXMP_NS_XMP_MM, "xmpMM:History[1]/stEvt:action", &value);
  EXPECT_EQ(value, "saved");
  stored.GetProperty(kXMP_NS_XMP_MM, "xmpMM:History[1]/stEvt:changed", &value);
  EXPECT_EQ(value, "/metadata/dc/title;/metadata");
  EXPECT_TRUE(stored.DoesPropertyExist(kXMP_NS_XMP_MM, "xmpMM:InstanceID"));
  EXPECT_EQ(Display(stored, title), "A title");

  // A provider that writes its own change list gets no history.
  provider->mWritesOwnChangeList = true;
  Edit(provider, {{title, "Second"}});
  EXPECT_EQ(provider->mWrites, 2);
  EXPECT_EQ(provider->Stored().CountArrayItems(kXMP_NS_XMP_MM, "xmpMM:History"), 1);

  // Writability follows the library-wide switch.
  EXPECT_TRUE(provider->QueryPathStatus(title, kPathStatus_Writable));
  DisableXMPWriting(true);
  EXPECT_FALSE(provider->QueryPathStatus(title, kPathStatus_Writable));
  EXPECT_TRUE(provider->QueryPathStatus(title, kPathStatus_Readable));
  DisableXMPWriting(false);
}

TEST_F(ProviderTest, DynamicSchemasFirstWinsAndRegisterLibraryWide) {
  MemoryProvider provider;
  provider.AddDynamicSchemaDefinition(nullptr);
  EXPECT_TRUE(mAssertions.Contains("inSchema"));
  const std::string ns = "http://example.com/velt/dynamic/take/1.0/";
  auto first = CreateNewSchema(ns, "take", u"", u"First", u"", u"");
  auto second = CreateNewSchema(ns, "take", u"", u"Second", u"", u"");
  provider.AddDynamicSchemaDefinition(first);
  provider.AddDynamicSchemaDefinition(second);
  auto range = provider.DynamicSchemaDefinitions();
  ASSERT_EQ(std::distance(range.first, range.second), 1);
  EXPECT_EQ(*range.first, first);
  EXPECT_TRUE(provider.DoesDynamicNamespaceExist(ns));
  EXPECT_FALSE(provider.DoesDynamicNamespaceExist(ns + "x"));
  EXPECT_EQ(NamespaceDefinition(ns), first);
}

TEST_F(ProviderTest, MinimalFloatValueCommitsOnlyWhatItWrote) {
  auto provider = MemoryProvider::Of(Packet("<vtest:Ratio>0.5</vtest:Ratio>"));
  const Path ratio = Prop(kValuesNs, "Ratio");
  SetMinimalFloatValue({ratio, provider}, 0.5);  // equal: nothing written, no commit
  EXPECT_EQ(provider->mWrites, 0);
  SetMinimalFloatValue({ratio, provider}, 0.1);
  ASSERT_EQ(provider->mWrites, 1);
  std::string text;
  provider->Stored().GetProperty(kValuesNs, "Ratio", &text);
  EXPECT_EQ(text, "0.10000000000000001");
  EXPECT_EQ(SXMPUtils::ConvertToFloat(text), 0.1);
  SetMinimalFloatValue({ratio, nullptr}, 1.0);  // no provider: nothing at all
}

}  // namespace
}  // namespace velttest
