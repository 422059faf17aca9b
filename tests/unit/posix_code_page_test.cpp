#include "platform/posix/posix_code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace ploxwen::posix {
namespace {

using Units = std::u16string;

TEST(PosixCodePage, Utf8DecodesWellFormedCharactersAndCarriesEveryOtherByte) {
    const std::pair<std::string, Units> cases[] = {
        {"Virtual\xC2\xA6\x7F", u"Virtual¦\x7F"},
        {"\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF",
         u"\u0080\u07FF\u0800\uD7FF\uE000\uFFFF"},
        {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", u"\U00010000\U0010FFFF"},
        {"a\xA6", Units{u'a', 0xDCA6}},                   // Latin-1 ¦ is no separator in UTF-8
        {"\xC1\xBF", Units{0xDCC1, 0xDCBF}},              // overlong
        {"\xE0\x9F\xBF", Units{0xDCE0, 0xDC9F, 0xDCBF}},  // overlong
        {"\xED\xA0\x80\xED\xBF\xBF", Units{0xDCED, 0xDCA0, 0xDC80, 0xDCED, 0xDCBF, 0xDCBF}},  // surrogates
        {"\xF0\x8F\xBF\xBF", Units{0xDCF0, 0xDC8F, 0xDCBF, 0xDCBF}},                          // overlong
        {"\xF4\x90\x80\x80", Units{0xDCF4, 0xDC90, 0xDC80, 0xDC80}},                          // past U+10FFFF
        {"\xF5\x80\xE2\x82", Units{0xDCF5, 0xDC80, 0xDCE2, 0xDC82}},  // no lead byte; cut short
    };
    PosixCodePage utf8("UTF-8");
    for (const auto& [bytes, units] : cases) {
        EXPECT_EQ(utf8.Decode(bytes), units) << bytes;
        EXPECT_EQ(utf8.ToNarrow(units), bytes);
    }
}

TEST(PosixCodePage, EveryByteRoundTripsThroughTextInEveryLocaleCharset) {
    std::string bytes;
    for (int b = 1; b <= 0xFF; ++b) bytes.push_back(static_cast<char>(b));
    for (const char* charset :
         {"UTF-8", "ANSI_X3.4-1968", "ISO-8859-1", "ISO-8859-15", "CP1252", "KOI8-R", "EUC-JP"}) {
        PosixCodePage text(charset);
        for (const std::string& sample :
             {bytes, bytes + "\xC3\xA4\xE2\x82\xAC\xF0\x9F\x96\xA8\xA4\xA2\xC3"}) {
            EXPECT_EQ(text.ToNarrow(text.Decode(sample)), sample) << charset;
        }
    }
    EXPECT_EQ(PosixCodePage("EUC-JP").Decode("\xA4\xA2x\xFF"), (Units{u'\u3042', u'x', 0xDCFF}));
    EXPECT_EQ(PosixCodePage("ISO-8859-15").Decode("\xA4"), u"€");
    EXPECT_EQ(PosixCodePage("GB18030").Decode("\x81\x30\x81\x30x"), u"\u0080x");  // a character of four bytes
    // Past the BMP and beside the surrogates, through a charset that spells every character.
    const Units edges = u"\U00010000\U00020000\U0010FFFF\uD7FF\uE000";
    EXPECT_EQ(PosixCodePage("GB18030").Decode(PosixCodePage("GB18030").ToNarrow(edges)), edges);
}

TEST(PosixCodePage, TheArgumentTakesTheUtf8BrokenBarOnlyWhereTheCharsetHasNone) {
    EXPECT_EQ(PosixCodePage("ISO-8859-15").DecodeArgumentText("\xC2\xA6\xA4\xC2"), u"¦€Â");
    EXPECT_EQ(PosixCodePage("ISO-8859-1").DecodeArgumentText("\xC2\xA6"), u"Â¦");
    EXPECT_EQ(PosixCodePage("EUC-JP").DecodeArgumentText("\xC2\xA6\x8F\xA2\xC3"), u"側¦");
}

TEST(PosixCodePage, EncodesIntoTheLocaleCharsetWithQuestionMarksForTheRest) {
    EXPECT_EQ(PosixCodePage("ISO-8859-15").ToNarrow(u"Ä€"), "\xC4\xA4");
    EXPECT_EQ(PosixCodePage("ISO-8859-1").ToNarrow(u"Ä€\U0001F5A8x"), "\xC4??x");
    // A lone surrogate that is not an escaped byte names no character.
    EXPECT_EQ(PosixCodePage("UTF-8").ToNarrow(Units{u'a', 0xD800, u'b', 0xDC7F, 0xDBFF, 0xE000}),
              "a?b??\xEE\x80\x80");
}

TEST(PosixCodePage, PrinterNamesConvertExactlyOrNotAtAll) {
    PosixCodePage latin1("ISO-8859-1"), utf8("UTF-8");
    EXPECT_EQ(latin1.ToNarrowExactly(u"Drucker\u00C4"), "Drucker\xC4");
    EXPECT_THROW(latin1.ToNarrowExactly(u"Drucker€"), platform::PlatformError);
    EXPECT_THROW(latin1.ToNarrowExactly(Units{u'a', 0xD800}), platform::PlatformError);
    EXPECT_EQ(utf8.ToNarrowExactly(u"Drucker€"), "Drucker\xE2\x82\xAC");
    EXPECT_EQ(utf8.ToNarrowExactly(Units{u'a', 0xDC80, 0xDCFF}), "a\x80\xFF");  // carried bytes are exact
    EXPECT_THROW(utf8.ToNarrowExactly(Units{u'a', 0xDFFF}), platform::PlatformError);
    EXPECT_THROW(utf8.ToNarrowExactly(Units{0xD800}), platform::PlatformError);
    EXPECT_THROW(PosixCodePage("NO-SUCH-CHARSET").ToNarrow(u"x"), platform::PlatformError);
}

}  // namespace
}  // namespace ploxwen::posix
