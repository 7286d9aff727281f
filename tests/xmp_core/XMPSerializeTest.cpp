// Serialization: every form and option parses back to an equal tree.

#include <gtest/gtest.h>

#include "XMPMetaObject.h"
#include "xmp/SXMPMeta.h"

namespace {

const char* kMyNS = "http://example.com/ser/";

SXMPMeta RichObject() {
  SXMPMeta::RegisterNamespace(kMyNS, "ser");
  SXMPMeta meta;
  meta.SetProperty(kXMP_NS_XMP, "xmp:CreatorTool", "a < b & \"c\" > d\r\n\ttab");
  meta.SetProperty(kXMP_NS_XMP, "xmp:BaseURL", "http://x/?a=1&b=2", kXMP_PropValueIsURI);
  meta.SetProperty(kXMP_NS_XMP, "xmp:Label", "");
  meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "", "x-default", "Hello");
  meta.SetLocalizedText(kXMP_NS_DC, "dc:title", "", "fr-FR", "Bonjour");
  meta.AppendArrayItem(kXMP_NS_DC, "dc:subject", kXMP_PropValueIsArray, "k1");
  meta.AppendArrayItem(kXMP_NS_DC, "dc:subject", kXMP_PropValueIsArray, "k2");
  meta.AppendArrayItem(kXMP_NS_DC, "dc:creator", kXMP_PropArrayIsOrdered, "Ann");
  meta.SetQualifier(kXMP_NS_DC, "dc:creator[1]", kMyNS, "role", "author");
  meta.SetProperty(kXMP_NS_DC, "dc:type", "", kXMP_PropValueIsArray);
  meta.SetStructField(kXMP_NS_EXIF, "exif:Flash", kXMP_NS_EXIF, "Fired", "True");
  meta.SetStructField(kXMP_NS_EXIF, "exif:Flash", kXMP_NS_EXIF, "Mode", "2");
  meta.SetQualifier(kXMP_NS_EXIF, "exif:Flash", kXMP_NS_XML, "lang", "en");
  meta.SetProperty(kXMP_NS_XMP_MM, "xmpMM:History[1]/stEvt:action", "saved");
  meta.SetProperty(kXMP_NS_XMP_MM, "xmpMM:History[1]/stEvt:when", "2020-01-01");
  meta.SetProperty(kXMP_NS_XMP_MM, "xmpMM:Empty", "", kXMP_PropValueIsStruct);
  meta.SetProperty(kMyNS, "ser:qualified", "v");
  meta.SetQualifier(kMyNS, "ser:qualified", kXMP_NS_XML, "lang", "en");
  meta.SetQualifier(kMyNS, "ser:qualified", kMyNS, "q", "qv");
  meta.SetProperty(kMyNS, "ser:uriq", "http://u/", kXMP_PropValueIsURI);
  meta.SetQualifier(kMyNS, "ser:uriq", kMyNS, "q", "1");
  meta.SetProperty(kMyNS, "ser:nested[1][1]", "deep");
  meta.SetProperty(kMyNS, "ser:arrq", "", kXMP_PropArrayIsOrdered);
  meta.AppendArrayItem(kMyNS, "ser:arrq", 0, "i");
  meta.SetQualifier(kMyNS, "ser:arrq", kMyNS, "q", "on array");
  meta.SetProperty(kMyNS, "ser:unicode", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  meta.SetObjectName("uuid:abc");
  return meta;
}

void ExpectRoundTrip(const SXMPMeta& meta, XMP_OptionBits options, const std::string& what) {
  std::string packet;
  meta.SerializeToBuffer(&packet, options);
  SXMPMeta back;
  ASSERT_NO_THROW(back.ParseFromBuffer(packet)) << what << "\n" << packet;
  EXPECT_TRUE(xmpcore::NodesEqual(xmpcore::Tree(meta), xmpcore::Tree(back))) << what << "\n"
                                                                             << packet;
  EXPECT_EQ(back.GetObjectName(), meta.GetObjectName());
}

TEST(XMPSerialize, EveryFormParsesBackToAnEqualTree) {
  SXMPMeta meta = RichObject();
  ExpectRoundTrip(meta, 0, "default");
  ExpectRoundTrip(meta, kXMP_UseCompactFormat, "compact");
  ExpectRoundTrip(meta, kXMP_UseCanonicalFormat, "canonical");
  ExpectRoundTrip(meta, kXMP_OmitPacketWrapper | kXMP_OmitAllFormatting, "bare");
  ExpectRoundTrip(meta, kXMP_OmitXMPMetaElement, "no xmpmeta");
  ExpectRoundTrip(meta, kXMP_EncodeUTF16Big, "utf16be");
  ExpectRoundTrip(meta, kXMP_EncodeUTF16Little, "utf16le");
  ExpectRoundTrip(meta, kXMP_EncodeUTF32Little | kXMP_ReadOnlyPacket, "utf32le");
  ExpectRoundTrip(SXMPMeta(), 0, "empty");
}

TEST(XMPSerialize, WrapperPaddingAndLayoutOptions) {
  SXMPMeta meta;
  meta.SetProperty(kXMP_NS_XMP, "xmp:Label", "x");
  std::string packet;
  meta.SerializeToBuffer(&packet);
  EXPECT_EQ(packet.rfind("<?xpacket begin=", 0), 0u);
  EXPECT_NE(packet.find("<?xpacket end=\"w\"?>"), std::string::npos);
  EXPECT_GE(packet.size(), 2048u);
  std::string small;
  meta.SerializeToBuffer(&small, 0, 10);
  EXPECT_EQ(packet.size() - small.size(), 2048u - 10u);

  meta.SerializeToBuffer(&packet, kXMP_ReadOnlyPacket);
  EXPECT_NE(packet.find("<?xpacket end=\"r\"?>"), std::string::npos);

  meta.SerializeToBuffer(&packet, kXMP_ExactPacketLength, 4000);
  EXPECT_EQ(packet.size(), 4000u);
  meta.SerializeToBuffer(&packet, kXMP_ExactPacketLength | kXMP_EncodeUTF16Big, 4000);
  EXPECT_EQ(packet.size(), 4000u);
  try {
    meta.SerializeToBuffer(&packet, kXMP_ExactPacketLength, 100);
    ADD_FAILURE() << "exact length too small";
  } catch (const XMP_Error& e) {
    EXPECT_EQ(e.GetID(), kXMPErr_BadSerialize);
  }

  meta.SerializeToBuffer(&packet, kXMP_OmitPacketWrapper);
  EXPECT_EQ(packet.find("xpacket"), std::string::npos);
  EXPECT_EQ(packet.rfind("<x:xmpmeta", 0), 0u);

  meta.SerializeToBuffer(&packet, kXMP_OmitPacketWrapper, 0, "\r\n", "\t", 2);
  EXPECT_EQ(packet.rfind("\t\t<x:xmpmeta", 0), 0u);
  EXPECT_NE(packet.find("\r\n\t\t\t<rdf:RDF"), std::string::npos);

  meta.SerializeToBuffer(&packet, kXMP_OmitPacketWrapper | kXMP_OmitAllFormatting);
  EXPECT_EQ(packet.find('\n'), std::string::npos);

  meta.SerializeToBuffer(&packet, kXMP_UseCompactFormat | kXMP_OmitPacketWrapper);
  EXPECT_NE(packet.find("xmp:Label=\"x\""), std::string::npos);

  for (XMP_OptionBits bad : {kXMP_OmitPacketWrapper | kXMP_ReadOnlyPacket,
                             kXMP_UseCompactFormat | kXMP_UseCanonicalFormat,
                             XMP_OptionBits(0x40000000), XMP_OptionBits(7)}) {
    EXPECT_THROW(meta.SerializeToBuffer(&packet, bad), XMP_Error) << bad;
  }
}

TEST(XMPSerialize, CharactersXmlCannotCarryAreReplacedAndTransientDataIsNotWritten) {
  SXMPMeta meta;
  // Text that is not UTF-8 is refused at the door ...
  try {
    meta.SetProperty(kXMP_NS_XMP, "xmp:Nickname", "bad \xC3( \xFF");
    ADD_FAILURE() << "invalid UTF-8 accepted";
  } catch (const XMP_Error& e) {
    EXPECT_EQ(e.GetID(), kXMPErr_BadUnicode);
    EXPECT_NE(std::string(e.GetErrMsg()).find("xmp:Nickname"), std::string::npos);
  }
  EXPECT_FALSE(meta.DoesPropertyExist(kXMP_NS_XMP, "xmp:Nickname"));
  // ... and what reaches the tree another way is written as U+FFFD.
  meta.SetProperty(kXMP_NS_XMP, "xmp:Nickname", "x");
  xmpcore::Tree(meta).FindChild(kXMP_NS_XMP)->FindChild("xmp:Nickname")->mValue =
      "a\xFF\xEF\xBF\xBEz";
  meta.SetProperty(kXMP_NS_XMP, "xmp:Label",
                   std::string("a\x01"
                               "b\x1F"
                               "c",
                               5));
  meta.SetProperty(kXMP_NS_Transient, "veltTransient:MultiFileCount", "2");
  std::string packet;
  meta.SerializeToBuffer(&packet);
  EXPECT_EQ(packet.find(kXMP_NS_Transient), std::string::npos);
  SXMPMeta back(packet.data(), static_cast<XMP_StringLen>(packet.size()));
  std::string value;
  ASSERT_TRUE(back.GetProperty(kXMP_NS_XMP, "xmp:Label", &value));
  EXPECT_EQ(value, "a b c");
  ASSERT_TRUE(back.GetProperty(kXMP_NS_XMP, "xmp:Nickname", &value));
  EXPECT_EQ(value, "a\xEF\xBF\xBD\xEF\xBF\xBDz");
}

}  // namespace
