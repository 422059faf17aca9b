#include "app/argument_intake.h"

#include <gtest/gtest.h>

namespace ploxwen::app {
namespace {

using Pieces = std::vector<std::u16string>;

TEST(SplitArgumentText, SplitsAtEveryBrokenBarTrimmingNothing) {
    EXPECT_EQ(SplitArgumentText(u" Virtual ¦ HELLO ¦¦x"), (Pieces{u" Virtual ", u" HELLO ", u"", u"x"}));
    EXPECT_EQ(SplitArgumentText(u"¦"), (Pieces{u"", u""}));
    EXPECT_EQ(SplitArgumentText(u"just a name"), (Pieces{u"just a name"}));
    EXPECT_TRUE(SplitArgumentText(u"").empty());
    // Look-alikes: '|', a unit ending in A6, the UTF-8 bytes of ¦ carried as escaped bytes.
    EXPECT_EQ(SplitArgumentText(std::u16string{u'a', u'|', 0x01A6, 0xDCC2, 0xDCA6}).size(), 1u);
}

}  // namespace
}  // namespace ploxwen::app
