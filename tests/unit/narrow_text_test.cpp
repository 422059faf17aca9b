#include "platform/posix/narrow_text.h"

#include <gtest/gtest.h>

#include <string>

namespace ploxwen::posix {
namespace {

std::string AllBytesButNul() {
    std::string bytes;
    for (int b = 1; b <= 0xFF; ++b) bytes.push_back(static_cast<char>(b));
    return bytes;
}

TEST(NarrowText, Utf8DecodesCharactersAndCarriesStrayBytes) {
    NarrowText utf8("UTF-8");
    EXPECT_EQ(utf8.Decode("Virtual\xC2\xA6HELLO"), u"Virtual¦HELLO");
    EXPECT_EQ(utf8.Decode("\xE2\x82\xAC\xF0\x9F\x96\xA8"), u"€\U0001F5A8");
    // A lone Latin-1 0xA6 is not UTF-8: it travels as an escaped byte and
    // therefore does not separate the fields.
    EXPECT_EQ(utf8.Decode("a\xA6"), (std::u16string{u'a', 0xDCA6}));
}

TEST(NarrowText, Utf8RejectsOverlongsSurrogatesAndTruncation) {
    NarrowText utf8("UTF-8");
    EXPECT_EQ(utf8.Decode("\xC0\xAF"), (std::u16string{0xDCC0, 0xDCAF}));              // overlong '/'
    EXPECT_EQ(utf8.Decode("\xED\xA0\x80"), (std::u16string{0xDCED, 0xDCA0, 0xDC80}));  // U+D800
    EXPECT_EQ(utf8.Decode("\xF4\x90\x80\x80").size(), 4u);                             // past U+10FFFF
    EXPECT_EQ(utf8.Decode("\xE2\x82"), (std::u16string{0xDCE2, 0xDC82}));              // cut short
}

TEST(NarrowText, EveryByteRoundTripsInUtf8AndTheCLocale) {
    for (const char* charset : {"UTF-8", "ANSI_X3.4-1968"}) {
        NarrowText text(charset);
        const std::string bytes = AllBytesButNul() + "\xC3\xA4\xE2\x82\xAC\xF0\x9F\x96\xA8\xC3";
        EXPECT_EQ(text.ToNarrow(text.Decode(bytes)), bytes) << charset;
    }
}

TEST(NarrowText, SingleByteCharsetsRoundTripEveryByte) {
    for (const char* charset : {"ISO-8859-1", "ISO-8859-15", "CP1252", "KOI8-R"}) {
        NarrowText text(charset);
        EXPECT_EQ(text.ToNarrow(text.Decode(AllBytesButNul())), AllBytesButNul()) << charset;
    }
}

TEST(NarrowText, EncodesIntoTheLocaleCharsetWithQuestionMarksForTheRest) {
    NarrowText latin9("ISO-8859-15");
    EXPECT_EQ(latin9.ToNarrow(u"Ä€"), "\xC4\xA4");
    EXPECT_EQ(latin9.Decode("\xA4"), u"€");
    NarrowText latin1("ISO-8859-1");
    EXPECT_EQ(latin1.ToNarrow(u"Ä€\U0001F5A8x"), "\xC4??x");
    NarrowText utf8("UTF-8");
    EXPECT_EQ(utf8.ToNarrow(u"Ä€"), "\xC3\x84\xE2\x82\xAC");
    // A lone surrogate that is not an escaped byte names no character.
    EXPECT_EQ(utf8.ToNarrow(std::u16string{u'a', 0xD800, u'b'}), "a?b");
}

TEST(NarrowText, NamesConvertExactlyOrNotAtAll) {
    NarrowText latin1("ISO-8859-1");
    EXPECT_EQ(latin1.ToNarrowExactly(u"Drucker\u00C4"), "Drucker\xC4");
    EXPECT_THROW(latin1.ToNarrowExactly(u"Drucker€"), platform::PlatformError);
    EXPECT_THROW(latin1.ToNarrowExactly(std::u16string{u'a', 0xD800}), platform::PlatformError);
    NarrowText utf8("UTF-8");
    EXPECT_EQ(utf8.ToNarrowExactly(u"Drucker€"), "Drucker\xE2\x82\xAC");
    EXPECT_EQ(utf8.ToNarrowExactly(std::u16string{u'a', 0xDCFF}), "a\xFF");  // a carried byte is exact
    EXPECT_THROW(utf8.ToNarrowExactly(std::u16string{u'a', 0xD800}), platform::PlatformError);
}

TEST(NarrowText, MultiByteCharsetsDecodeWholeCharacters) {
    NarrowText euc("EUC-JP");
    const std::string bytes = "\xA4\xA2x\xFF";  // HIRAGANA A, 'x', a byte EUC-JP rejects
    EXPECT_EQ(euc.Decode(bytes), (std::u16string{u'\u3042', u'x', 0xDCFF}));
    EXPECT_EQ(euc.ToNarrow(euc.Decode(bytes)), bytes);
}

TEST(NarrowText, UnknownCharsetIsAFailureNotAGuess) {
    NarrowText bogus("NO-SUCH-CHARSET");
    EXPECT_THROW(bogus.ToNarrow(u"x"), platform::PlatformError);
    EXPECT_THROW(bogus.Decode("x"), platform::PlatformError);
}

}  // namespace
}  // namespace ploxwen::posix
