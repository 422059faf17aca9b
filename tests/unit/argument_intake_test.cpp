#include "app/argument_intake.h"

#include <gtest/gtest.h>

namespace ploxwen::app {
namespace {

using Pieces = std::vector<std::u16string>;

TEST(SplitArgumentText, SplitsAtEveryBrokenBarAndTrimsNothing) {
    EXPECT_EQ(SplitArgumentText(u"Virtual¦HELLO"), (Pieces{u"Virtual", u"HELLO"}));
    EXPECT_EQ(SplitArgumentText(u" Virtual ¦ HELLO "), (Pieces{u" Virtual ", u" HELLO "}));
    EXPECT_EQ(SplitArgumentText(u"a¦b¦c¦d"), (Pieces{u"a", u"b", u"c", u"d"}));
}

TEST(SplitArgumentText, SeparatorsAtTheEdgesAndSideBySideGiveEmptyPieces) {
    EXPECT_EQ(SplitArgumentText(u"¦"), (Pieces{u"", u""}));
    EXPECT_EQ(SplitArgumentText(u"¦data"), (Pieces{u"", u"data"}));
    EXPECT_EQ(SplitArgumentText(u"name¦"), (Pieces{u"name", u""}));
    EXPECT_EQ(SplitArgumentText(u"a¦¦b"), (Pieces{u"a", u"", u"b"}));
}

TEST(SplitArgumentText, EmptyTextGivesNoPiecesAndTextWithoutSeparatorOne) {
    EXPECT_TRUE(SplitArgumentText(u"").empty());
    EXPECT_EQ(SplitArgumentText(u"just a name"), (Pieces{u"just a name"}));
}

TEST(SplitArgumentText, LookalikesOfTheSeparatorDoNotSplit) {
    // '|' (U+007C), the Latin-1 byte of ¦ read as a lone code unit inside
    // another character, and the UTF-8 bytes C2 A6 escaped as surrogates.
    EXPECT_EQ(SplitArgumentText(u"a|b").size(), 1u);
    EXPECT_EQ(SplitArgumentText(u"a\u01A6b").size(), 1u);
    const std::u16string escaped{u'a', 0xDCC2, 0xDCA6, u'b'};
    EXPECT_EQ(SplitArgumentText(escaped).size(), 1u);
}

TEST(PieceAt, MissingPieceIsASubscriptFailure) {
    const Pieces pieces{u"only"};
    EXPECT_EQ(PieceAt(pieces, 0), u"only");
    EXPECT_THROW(PieceAt(pieces, 1), std::out_of_range);
    EXPECT_THROW(PieceAt(Pieces{}, 0), std::out_of_range);
}

}  // namespace
}  // namespace ploxwen::app
