#include "tags/id3v2_catalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace quorvel {
namespace {

TEST(Id3v2Catalogue, HasTheUndefinedAndExtendedHeaderEntriesAtItsEnds) {
  static_assert(Id3v2Catalogue.size() == 91);
  EXPECT_STREQ(Id3v2Catalogue[0].description, "undefined");
  EXPECT_STREQ(Id3v2Catalogue[kExtHeaderIndex].description, "Extended tag header");
  for (int column = 0; column < kCodeColumns; ++column) {
    EXPECT_STREQ(Id3v2Catalogue[0].kod[column], "");
    EXPECT_STREQ(Id3v2Catalogue[kExtHeaderIndex].kod[column], "");
  }
}

TEST(Id3v2Catalogue, CodesHaveTheLengthOfTheirVersionAndTheFourthColumnRepeats24) {
  for (size_t i = 0; i < Id3v2Catalogue.size(); ++i) {
    const TagElement& e = Id3v2Catalogue[i];
    SCOPED_TRACE(e.description);
    const size_t v22 = std::strlen(e.kod[0]);
    EXPECT_TRUE(v22 == 0 || v22 == 3);
    for (int column = 1; column < kCodeColumns; ++column) {
      const size_t n = std::strlen(e.kod[column]);
      EXPECT_TRUE(n == 0 || n == 4);
    }
    EXPECT_STREQ(e.kod[3], e.kod[2]);
    EXPECT_LE(e.tip, kFieldPicture);
    EXPECT_EQ(e.fel & ~7, 0);
  }
}

TEST(Id3v2Catalogue, EveryCodeIsFoundAtItsOwnIndexInItsVersion) {
  for (unsigned major = 2; major <= 5; ++major) {
    std::set<std::string> seen;
    for (unsigned i = 1; i < kExtHeaderIndex; ++i) {
      const char* code = Id3v2Code(i, major);
      if (*code == '\0') continue;
      EXPECT_TRUE(seen.insert(code).second) << "duplicate code " << code;
      EXPECT_EQ(FindId3v2Code(code, major), i) << code << " in 2." << major;
    }
  }
}

struct CatalogueRow {
  unsigned index;
  const char* v22;
  const char* v23;
  const char* v24;
  const char* description;
  uint8_t tip;
  uint8_t fel;
  uint32_t max;
  bool ald;
};

TEST(Id3v2Catalogue, RowsMatchTheFieldList) {
  const CatalogueRow rows[] = {
      {1, "CRA", "AENC", "AENC", "Audio encryption", kFieldMixed, 0, 0, true},
      {2, "PIC", "APIC", "APIC", "Attached picture", kFieldPicture, 0, 0, true},
      {3, "", "", "ASPI", "Audio seek point index", kFieldBinary, 0, 0, false},
      {4, "COM", "COMM", "COMM", "Comment", kFieldText, 7, 0, true},
      {7, "EQU", "EQUA", "EQU2", "Equalization", kFieldBinary, 4, 0, false},
      {19, "BUF", "RBUF", "RBUF", "Recommended buffer size", kFieldBinary, 0, 8, false},
      {20, "RVA", "RVAD", "RVA2", "Relative volume adjustment", kFieldBinary, 0, 0, true},
      {21, "REV", "RVRB", "RVRB", "Reverberation", kFieldBinary, 0, 12, false},
      {22, "SLT", "SYLT", "SYLT", "Synchronised lyrics", kFieldMixed, 3, 0, true},
      {23, "", "SEEK", "SEEK", "Seek frame", kFieldBinary, 0, 4, false},
      {42, "", "IPLS", "TIPL", "Involved people list", kFieldText, 1, 0, false},
      {44, "TT2", "TIT2", "TIT2", "Title", kFieldText, 1, 0, false},
      {74, "TSS", "TSSE", "TSSE", "SW/HW and settings used for encoding", kFieldText, 1, 0, false},
      {77, "TXX", "TXXX", "TXXX", "User-defined text information frame", kFieldText, 5, 0, true},
      {79, "", "USER", "USER", "Terms of use", kFieldText, 3, 0, true},
      {80, "ULT", "USLT", "USLT", "Unsychronised lyrics", kFieldText, 7, 0, true},
      {81, "WCM", "WCOM", "WCOM", "Web commercial information", kFieldText, 0, 0, true},
      {88, "WPB", "WPUB", "WPUB", "Publishers official webpage", kFieldText, 0, 0, false},
      {89, "WXX", "WXXX", "WXXX", "User defined URL link frame", kFieldText, 5, 0, true},
  };
  for (const CatalogueRow& row : rows) {
    const TagElement& e = Id3v2Catalogue[row.index];
    SCOPED_TRACE(row.index);
    EXPECT_STREQ(e.kod[0], row.v22);
    EXPECT_STREQ(e.kod[1], row.v23);
    EXPECT_STREQ(e.kod[2], row.v24);
    EXPECT_STREQ(e.description, row.description);
    EXPECT_EQ(e.tip, row.tip);
    EXPECT_EQ(e.fel, row.fel);
    EXPECT_EQ(e.max, row.max);
    EXPECT_EQ(e.ald, row.ald);
  }
}

TEST(Id3v2Catalogue, KindsAreCountedAsListed) {
  int count[4] = {};
  for (const TagElement& e : Id3v2Catalogue) ++count[e.tip];
  EXPECT_EQ(count[kFieldBinary], 15);
  EXPECT_EQ(count[kFieldText], 64);
  EXPECT_EQ(count[kFieldMixed], 11);
  EXPECT_EQ(count[kFieldPicture], 1);
}

TEST(Id3v2Catalogue, LookupUsesTheColumnOfTheMajorVersion) {
  struct Case {
    const char* code;
    unsigned major;
    unsigned index;
  };
  const Case cases[] = {
      {"TIT2", 3, 44}, {"TIT2", 2, 0},  {"TT2", 2, 44},  {"IPLS", 3, 42}, {"TIPL", 4, 42},
      {"IPLS", 4, 0},  {"TIPL", 3, 0},  {"EQU2", 4, 7},  {"EQUA", 4, 0},  {"ASPI", 3, 0},
      {"ASPI", 5, 3},  {"TIT2", 9, 44}, {"TT2", 0, 44},  {"TT2", 1, 44},  {"XXXX", 3, 0},
      {"", 3, 0},      {"TIT", 3, 0},   {"TIT2 ", 3, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindId3v2Code(c.code, c.major), c.index) << c.code << " major " << c.major;
  }
  EXPECT_EQ(Id3v2CodeColumn(0), 0);
  EXPECT_EQ(Id3v2CodeColumn(4), 2);
  EXPECT_EQ(Id3v2CodeColumn(200), 3);
  EXPECT_STREQ(Id3v2Code(44, 254), "TIT2");
  EXPECT_STREQ(Id3v2Code(91, 3), "");
  EXPECT_STREQ(Id3v2Code(255, 3), "");
}

TEST(Id3v2Catalogue, PictureTypeNames) {
  const char* const names[] = {"other", "32x32 PNG icon", "icon", "front cover", "back cover",
                               "leaflet page", "media", "leading artist", "artist", "conductor",
                               "band or orchestra", "composer", "lyricist", "recording location",
                               "recording", "performance", "screen capture", "unknown",
                               "illustration", "artist logotype", "publisher logotype"};
  for (unsigned t = 0; t < std::size(names); ++t) EXPECT_STREQ(PictureTypeName(t), names[t]) << t;
  EXPECT_STREQ(PictureTypeName(21), "unknown");
  EXPECT_STREQ(PictureTypeName(255), "unknown");
}

}  // namespace
}  // namespace quorvel
