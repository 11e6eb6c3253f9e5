// The metadata explorer link: which rows open an address, and which address.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keyinfo/metadata_link.h"

namespace {

class RecordingOpener : public Opener {
 public:
  void OpenFile(const std::string& path) override { files.push_back(path); }
  void OpenUrl(const std::string& url) override { urls.push_back(url); }
  std::vector<std::string> files;
  std::vector<std::string> urls;
};

const std::string kExplorer = std::string(METADATA_EXPLORER_HOST) + "/fido-mds-explorer/?aaguid=";

// The rows of the list as GetInfo leaves them, the aaguid row at index 2.
ReportList InfoList() {
  ReportList list;
  list.AppendRow("authenticatorGetInfo", "versions: FIDO_2_0 U2F_V2 ");
  list.AppendRow(" ", "extensions: hmac-secret ");
  list.AppendRow(" ", "aaguid: 000102030405060708090a0b0c0d0e0f");
  list.AppendRow(" ", "options: rk: true up: true clientPin: false ");
  list.AppendRow("    ");  // no value cell
  return list;
}

TEST(MetadataLinkTest, AaguidRowOpensTheExplorerPage) {
  const ReportList list = InfoList();
  RecordingOpener opener;
  OnDblClkInfoList(list, 2, opener);
  ASSERT_EQ(opener.urls.size(), 1u);
  EXPECT_EQ(opener.urls[0],
            "https://passkeydeveloper.github.io/fido-mds-explorer/"
            "?aaguid=00010203-0405-0607-0809-0a0b0c0d0e0f");
  EXPECT_TRUE(opener.files.empty());
}

TEST(MetadataLinkTest, EveryOtherRowAndEmptySpaceOpenNothing) {
  ReportList list = InfoList();
  list.AppendRow(" ", "AAGUID: 000102030405060708090a0b0c0d0e0f");  // row 5
  list.AppendRow("aaguid", "Aaguid: 00");                           // row 6
  for (int row : {-1, -7, 0, 1, 3, 4, 5, 6, 7, 1000}) {
    RecordingOpener opener;
    OnDblClkInfoList(list, row, opener);
    EXPECT_TRUE(opener.urls.empty()) << "row " << row;
  }
}

TEST(MetadataLinkTest, AddressFromValueText) {
  struct Case {
    const char* value;
    const char* query;  // nullptr: no address
  };
  const Case cases[] = {
      {"aaguid: 000102030405060708090a0b0c0d0e0f", "00010203-0405-0607-0809-0a0b0c0d0e0f"},
      // Digits keep their case; white space around them goes.
      {"aaguid:  \tCB69481E8FF7403993EC0A2729A154A8 \r\n", "CB69481E-8FF7-4039-93EC-0A2729A154A8"},
      // Short texts give short or empty groups.
      {"aaguid: 0001020304", "00010203-04---"},
      {"aaguid: 000102030405060708", "00010203-0405-0607-08-"},
      {"aaguid:", "----"},
      {"aaguid", "----"},
      // Only the first 32 characters after the prefix count.
      {"aaguid: 000102030405060708090a0b0c0d0e0fFFFF", "00010203-0405-0607-0809-0a0b0c0d0e0f"},
      // The seventh character is skipped whatever it is.
      {"aaguidX00010203", "00010203----"},
      {"AAGUID: 000102030405060708090a0b0c0d0e0f", nullptr},
      {"aagui", nullptr},
      {"", nullptr},
      {" aaguid: 00", nullptr},
  };
  for (const Case& c : cases) {
    std::string address = "untouched";
    const bool built = MetadataExplorerAddress(METADATA_EXPLORER_HOST, c.value, &address);
    if (c.query == nullptr) {
      EXPECT_FALSE(built) << c.value;
      EXPECT_EQ(address, "untouched");
    } else {
      EXPECT_TRUE(built) << c.value;
      EXPECT_EQ(address, kExplorer + c.query) << c.value;
    }
  }
}

TEST(MetadataLinkTest, GroupsAreCutByCharacterNotByByte) {
  // Two-byte characters: a group of four holds four of them whole.
  std::string address;
  ASSERT_TRUE(MetadataExplorerAddress("https://h",
                                      "aaguid: \xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                                      "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9",
                                      &address));
  EXPECT_EQ(address,
            "https://h/fido-mds-explorer/?aaguid="
            "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9-\xC3\xA9---");
}

TEST(MetadataLinkTest, AddressMustFitItsBuffer) {
  const std::string value = "aaguid: 000102030405060708090a0b0c0d0e0f";
  const size_t fixed = std::string("/fido-mds-explorer/?aaguid=").size() + 36;
  // Terminating zero included: 255 characters fit, 256 do not.
  const std::string fits = "https://" + std::string(METADATA_ADDRESS_CAPACITY - 1 - fixed - 8, 'h');
  std::string address;
  ASSERT_TRUE(MetadataExplorerAddress(fits, value, &address));
  EXPECT_EQ(address.size(), METADATA_ADDRESS_CAPACITY - 1);
  EXPECT_FALSE(MetadataExplorerAddress(fits + "h", value, &address));
}

}  // namespace
