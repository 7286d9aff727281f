// Aggregate and disjoint-schema providers: merging, distribution, routing, and the
// lifetime of the listeners they register on their proxies.

#include <gtest/gtest.h>

#include "ProviderSupport.h"
#include "veltmetadata/AggregateProvider.h"
#include "veltmetadata/DisjointSchemaProxyProvider.h"
#include "veltmetadata/DynamicSchemas.h"

namespace velttest {
namespace {

using namespace veltmetadata;

class CompositeTest : public ValuesFixture {
 protected:
  // A file's metadata: a shared format, a per-file label, a structure whose Note is shared
  // and whose Inner/Leaf differs.
  static std::shared_ptr<MemoryProvider> File(const std::string& label, const std::string& leaf) {
    return MemoryProvider::Of(
        Packet("<dc:format>image/jpeg</dc:format><xmp:Label>" + label +
               "</xmp:Label><vtest:Outer rdf:parseType='Resource'><vtf:Note>shared</vtf:Note>"
               "<vtf:Inner rdf:parseType='Resource'><vtf:Leaf>" +
               leaf + "</vtf:Leaf></vtf:Inner></vtest:Outer>"));
  }
  static std::shared_ptr<AggregateProvider> Aggregate(const ProviderList& list) {
    return std::make_shared<AggregateProvider>(ProviderRange{list.begin(), list.end()});
  }
};

TEST_F(CompositeTest, AggregateMergesAndDistributesEdits) {
  auto empty = std::make_shared<AggregateProvider>();
  EXPECT_EQ(*MetaDataReadAccess(empty), nullptr);
  EXPECT_FALSE(empty->QueryPathStatus(Prop(kXMP_NS_DC, "format"), kPathStatus_Readable));

  // One provider: the aggregate shares its very object.
  auto single = File("red", "a");
  auto one = Aggregate({single});
  {
    MetaDataUpdateAccess access(one);
    SetValue(*access, Prop(kXMP_NS_XMP, "Label"), "green");
    EXPECT_EQ(Stored(*MetaDataReadAccess(single), kXMP_NS_XMP, "xmp:Label"), "green");
    access.AddChange(Prop(kXMP_NS_XMP, "Label"));
  }
  EXPECT_EQ(single->mWrites, 1);

  auto a = File("red", "a"), b = File("blue", "b"), refusing = File("red", "a");
  refusing->mReadOnly = true;
  auto all = Aggregate({a, b, refusing});
  const Path label = Prop(kXMP_NS_XMP, "Label"), format = Prop(kXMP_NS_DC, "format");
  const Path leaf = Field(Field(Prop(kValuesNs, "Outer"), "Inner"), "Leaf");
  const Path note = Field(Prop(kValuesNs, "Outer"), "Note");
  GetValueResult result;
  {
    MetaDataUpdateAccess access(all);
    EXPECT_EQ(Display(SXMPMeta(*access), label, &result), "<none>");
    EXPECT_EQ(result, kGetValueResult_MultipleValues);
    EXPECT_EQ(Display(SXMPMeta(*access), note), "shared");
    EXPECT_EQ(Display(SXMPMeta(*access), leaf, &result), "<none>");
    ASSERT_TRUE(SetValue(*access, format, "image/png"));
    ASSERT_TRUE(SetValue(*access, note, "edited"));  // a field of a differing structure
    for (const Path& p : {format, note})
      access.AddChange(p);
  }
  for (const auto& [provider, expectedLeaf, expectedLabel] :
       {std::tuple{a, "a", "red"}, std::tuple{b, "b", "blue"}}) {
    SXMPMeta stored = provider->Stored();
    EXPECT_EQ(Display(stored, format), "image/png");
    EXPECT_EQ(Display(stored, note), "edited");
    EXPECT_EQ(Display(stored, leaf), expectedLeaf);  // each file keeps its other fields
    EXPECT_EQ(Display(stored, label), expectedLabel);
    EXPECT_EQ(stored.CountArrayItems(kXMP_NS_XMP_MM, "xmpMM:History"), 1);
  }
  EXPECT_EQ(refusing->mWrites, 0);  // cannot write every changed path: gets nothing

  // An emptied value is deleted from every provider that takes the write.
  ASSERT_TRUE(Edit(all, {{format, ""}}));
  EXPECT_FALSE(a->Stored().DoesPropertyExist(kXMP_NS_DC, "format"));
  EXPECT_FALSE(b->Stored().DoesPropertyExist(kXMP_NS_DC, "format"));
  EXPECT_EQ(Display(refusing->Stored(), format), "image/jpeg");
}

TEST_F(CompositeTest, DynamicSchemasAreAdoptedAndTheirPathsListedOnce) {
  const std::string ns = MakeDynamicSchemaNamespace("shot");
  SXMPMeta::RegisterNamespace(ns, "shot");
  SXMPMeta first, second;
  first.SetProperty(ns, "shot:Scene", "1");
  second.SetProperty(ns, "shot:Scene", "2");
  second.SetStructField(ns, "shot:Take", ns, "Number", "7");
  auto aggregate = Aggregate({MemoryProvider::Of(first), MemoryProvider::Of(second)});
  EXPECT_TRUE(aggregate->DoesDynamicNamespaceExist(ns));
  ASSERT_NE(NamespaceDefinition(ns), nullptr);
  EXPECT_EQ(NamespaceDefinition(ns)->mPrefix, "shot");
  std::vector<std::shared_ptr<PropertyDefinition>> properties(3);
  aggregate->GetAllPathsForDynamicSchema(ns, properties);
  std::vector<std::string> names;
  for (const auto& p : properties)
    names.push_back(p->mName);
  EXPECT_EQ(names, (std::vector<std::string>{"Scene", "Take", "Take/shot:Number"}));
}

TEST_F(CompositeTest, ListenersNeverOutliveTheirComposite) {
  auto proxy = File("red", "a");
  CountingListener listener;
  {
    auto aggregate = Aggregate({proxy, File("blue", "b")});
    aggregate->NotifyWhenMetaDataChanged(listener.mListener);
    proxy->Reset(proxy->mPacket);  // the composite recomputes and notifies
    EXPECT_EQ(listener.mCalls, 1);
    aggregate->ResetProviders();  // dropped proxies no longer reach it
    proxy->Reset(proxy->mPacket);
    EXPECT_EQ(listener.mCalls, 2);  // only the reset's own recompute
    aggregate->AddProvider(proxy, true);
  }
  proxy->Reset(proxy->mPacket);  // the composite is gone: nothing is called

  // A listener that drops the composite's last reference in the middle of a notification.
  auto composite = Aggregate({proxy, File("blue", "b")});  // a merged object of its own
  auto nested = Aggregate({composite, File("x", "y")});
  CountingListener killer;
  killer.mOnCall = [&] {
    composite.reset();
    nested.reset();
  };
  composite->NotifyWhenMetaDataChanged(killer.mListener);
  std::string seenAfterKill;
  composite->NotifyWhenMetaDataChanged(std::make_shared<MetaDataChangedFunction>(
      [&](__XMPMeta__* meta) { seenAfterKill = Stored(meta, kXMP_NS_DC, "dc:format"); }));
  CountingListener after;
  proxy->NotifyWhenMetaDataChanged(after.mListener);
  proxy->Reset(proxy->mPacket);
  EXPECT_EQ(killer.mCalls, 1);
  EXPECT_EQ(after.mCalls, 1);
  EXPECT_EQ(composite, nullptr);
  EXPECT_EQ(seenAfterKill, "image/jpeg");  // the handle outlived the composite's last owner

  // A provider added twice is merged and written twice, without harm; null is ignored.
  auto twice = File("red", "a");
  auto doubled = Aggregate({twice});
  doubled->AddProvider(twice, true);
  doubled->AddProvider(nullptr, true);
  ASSERT_TRUE(Edit(doubled, {{Prop(kXMP_NS_XMP, "Label"), "again"}}));
  EXPECT_EQ(twice->mWrites, 2);
  EXPECT_EQ(Display(twice->Stored(), Prop(kXMP_NS_XMP, "Label")), "again");

  // A composite never contains itself, directly or through another one.
  auto outer = std::make_shared<AggregateProvider>();
  auto inner = Aggregate({outer});
  outer->AddProvider(outer, true);
  outer->AddProvider(inner, true);
  EXPECT_EQ(mAssertions.Count(), 2u);
  proxy->Reset(proxy->mPacket);
  auto disjoint = std::make_shared<DisjointSchemaProxyProvider>();
  disjoint->RegisterBaseProvider(Aggregate({disjoint}));
  EXPECT_EQ(mAssertions.Count(), 3u);
}

TEST_F(CompositeTest, DisjointSchemasGoToTheirOwnersAndNeverToTheBase) {
  auto base = File("red", "a");
  auto owner =
      MemoryProvider::Of(Packet("<vtest:Count>3</vtest:Count><vtest:Ratio>0.5</vtest:Ratio>"));
  auto schema = NamespaceDefinition(kValuesNs);
  auto disjoint = std::make_shared<DisjointSchemaProxyProvider>();
  EXPECT_EQ(*MetaDataReadAccess(disjoint), nullptr);
  disjoint->RegisterProvider(nullptr, owner);
  disjoint->RegisterProvider(schema, nullptr);
  EXPECT_EQ(*MetaDataReadAccess(disjoint), nullptr);

  // Without a base provider, edits outside the owned schemas are dropped.
  disjoint->RegisterProvider(schema, owner);
  const Path count = Prop(kValuesNs, "Count"), ratio = Prop(kValuesNs, "Ratio");
  const Path label = Prop(kXMP_NS_XMP, "Label");
  Edit(disjoint, {{count, "4"}, {label, "lost"}});
  EXPECT_EQ(Display(owner->Stored(), count), "4");
  EXPECT_FALSE(owner->Stored().DoesPropertyExist(kXMP_NS_XMP, "Label"));

  disjoint->RegisterBaseProvider(base);
  owner->mReadOnly = true;
  EXPECT_FALSE(disjoint->QueryPathStatus(count, kPathStatus_Writable));
  EXPECT_TRUE(disjoint->QueryPathStatus(label, kPathStatus_Writable));
  owner->mReadOnly = false;
  {
    MetaDataUpdateAccess access(disjoint);
    EXPECT_EQ(Display(SXMPMeta(*access), Field(Prop(kValuesNs, "Outer"), "Note")), "shared");
    SetValue(*access, count, 5);
    SetValue(*access, label, "green");
    DeleteValue(*access, ratio);  // a deletion routed to the owner
    for (const Path& p : {count, label, ratio})
      access.AddChange(p);
  }
  EXPECT_EQ(mAssertions.Count(), 0u);
  EXPECT_EQ(Display(owner->Stored(), count), "5");
  EXPECT_FALSE(owner->Stored().DoesPropertyExist(kValuesNs, "Ratio"));
  SXMPMeta written = base->Stored();
  EXPECT_EQ(Display(written, label), "green");
  EXPECT_FALSE(written.DoesPropertyExist(kValuesNs, "Count"));  // the base never stores it
  // ...while the shared metadata still shows the owner's schema.
  EXPECT_EQ(Display(SXMPMeta(*MetaDataReadAccess(disjoint)), count), "5");
  disjoint->ClearProviders();
  EXPECT_EQ(*MetaDataReadAccess(disjoint), nullptr);
}

}  // namespace
}  // namespace velttest
