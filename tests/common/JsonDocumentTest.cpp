// SPDX-License-Identifier: BSD-2-Clause-Patent
// The one JSON printer every command uses: text that is not UTF-8 (a path, a
// name read from a file) keeps its bytes as \xNN and never stops the printer.
#include <gtest/gtest.h>

#include <string>

#include "common/Hex.h"
#include "common/JsonDocument.h"

namespace {

struct Utf8Case {
  const char* Name;
  std::string Given;
  std::string Printed; // as the JSON string's value reads back
};

class JsonDocumentText : public testing::TestWithParam<Utf8Case> {};

TEST_P(JsonDocumentText, EveryStringReadsBackAsWellFormedUtf8) {
  const Utf8Case& C = GetParam();
  siotool::Json Doc = {{"path", C.Given}, {"list", {C.Given}}, {C.Given, 1}};
  std::string Printed;
  ASSERT_NO_THROW(Printed = sio::JsonDocument(Doc));
  EXPECT_EQ(Printed.back(), '\n');
  const siotool::Json Back = siotool::Json::parse(Printed);
  EXPECT_EQ(Back["path"], C.Printed);
  EXPECT_EQ(Back["list"][0], C.Printed);
  EXPECT_TRUE(Back.contains(C.Printed)) << "the key";
  EXPECT_EQ(sio::WellFormedUtf8(C.Given), C.Printed);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, JsonDocumentText,
    testing::Values(Utf8Case{"Ascii", "dir/image.efi", "dir/image.efi"},
                    Utf8Case{"WellFormedUtf8", "r\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
                             "r\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
                    Utf8Case{"Latin1Byte", "caf\xE9.fd", "caf\\xE9.fd"},
                    Utf8Case{"StrayContinuation", "a\x80z", "a\\x80z"},
                    Utf8Case{"CutShort", "end\xE2\x82", "end\\xE2\\x82"},
                    Utf8Case{"Overlong", "\xC0\xAF \xE0\x80\xAF", "\\xC0\\xAF \\xE0\\x80\\xAF"},
                    Utf8Case{"Surrogate", "\xED\xA0\x80", "\\xED\\xA0\\x80"},
                    Utf8Case{"PastUnicode", "\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},
                    Utf8Case{"ControlCharactersAreJsonsToEscape", std::string("a\tb\0c", 5),
                             std::string("a\tb\0c", 5)}),
    [](const testing::TestParamInfo<Utf8Case>& Info) { return std::string(Info.param.Name); });

// Numbers stay numbers, and nothing but strings is touched.
TEST(JsonDocument, KeepsNumbersBooleansAndNulls) {
  siotool::Json Doc = {{"size", 67}, {"passed", true}, {"problem", nullptr}, {"offsets", {1, 2}}};
  EXPECT_EQ(siotool::Json::parse(sio::JsonDocument(Doc)), Doc);
}

// The text printers and the JSON printer show a byte that is not UTF-8 alike.
TEST(JsonDocument, ShowsABadByteAsTheTextPrintersDo) {
  EXPECT_EQ(sio::PrintableText("caf\xE9 \x80"), sio::WellFormedUtf8("caf\xE9 \x80"));
}

} // namespace
