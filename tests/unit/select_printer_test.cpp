#include "printers/select_printer.h"

#include <gtest/gtest.h>

#include "fake/fake_platform.h"

namespace ploxwen::printers {
namespace {

using fake::FakePlatform;
using fake::Op;

FakePlatform WithPrinters(std::vector<std::u16string> names) {
    FakePlatform fake;
    fake.printers = std::move(names);
    fake.current = 0;
    return fake;
}

TEST(SelectPrinterByName, MakesTheExactMatchCurrent) {
    FakePlatform fake = WithPrinters({u"Office", u"Receipt", u"Label"});
    EXPECT_EQ(SelectPrinterByName(fake, u"Label"), kTrue);
    EXPECT_EQ(fake.CurrentName(), u"Label");
}

TEST(SelectPrinterByName, FirstOfTwoEqualNamesWins) {
    FakePlatform fake = WithPrinters({u"Office", u"Twin", u"Twin"});
    EXPECT_EQ(SelectPrinterByName(fake, u"Twin"), kTrue);
    EXPECT_EQ(fake.current, 1);
    EXPECT_EQ(fake.CallCount(Op::DeviceName), 2);  // the second twin is never looked at
}

TEST(SelectPrinterByName, NearMissesMatchNothingAndChangeNothing) {
    for (const std::u16string name : {u"receipt", u"RECEIPT", u"Receipt ", u" Receipt", u"Receip", u""}) {
        FakePlatform fake = WithPrinters({u"Office", u"Receipt"});
        EXPECT_EQ(SelectPrinterByName(fake, name), kFalse) << std::string(name.begin(), name.end());
        EXPECT_EQ(fake.current, 0);
        EXPECT_EQ(fake.CallCount(Op::MakeCurrent), 0);
    }
}

TEST(SelectPrinterByName, EmptyNameMatchesOnlyAnEmptyDeviceName) {
    FakePlatform fake = WithPrinters({u"Office", u""});
    EXPECT_EQ(SelectPrinterByName(fake, u""), kTrue);
    EXPECT_EQ(fake.current, 1);
}

TEST(SelectPrinterByName, EmptyListReadsNoEntry) {
    FakePlatform fake;
    EXPECT_EQ(SelectPrinterByName(fake, u"Anything"), kFalse);
    EXPECT_EQ(fake.CallCount(Op::DeviceName), 0);
    EXPECT_FALSE(fake.current.has_value());
}

TEST(SelectPrinterByName, ObtainsTheListAfreshForEveryAccess) {
    FakePlatform fake = WithPrinters({u"A", u"B"});
    SelectPrinterByName(fake, u"B");
    // two Count readings, two entries, one replacement
    EXPECT_EQ(fake.CallCount(Op::ObtainPrinterList), 5);
}

TEST(SelectPrinterByName, FailuresPropagateAndLeaveTheCurrentPrinter) {
    for (const Op op : {Op::ObtainPrinterList, Op::Count, Op::DeviceName, Op::MakeCurrent}) {
        FakePlatform fake = WithPrinters({u"Office", u"Receipt"});
        fake.FailOn(op);
        EXPECT_THROW(SelectPrinterByName(fake, u"Receipt"), platform::PlatformError) << fake::OpName(op);
        EXPECT_EQ(fake.current, 0) << fake::OpName(op);
    }
}

TEST(SelectPrinterByName, IndexStaysWithinSixteenBits) {
    // 32,768 entries: the last index 32,767 still fits, so a match there works...
    FakePlatform last = WithPrinters({u"Office"});
    last.count_override = 32768;
    last.printers.resize(32768, u"Other");
    last.printers.back() = u"Far";
    EXPECT_EQ(SelectPrinterByName(last, u"Far"), kTrue);
    EXPECT_EQ(last.current, 32767);

    // ...but searching past it steps the index beyond 32,767, which fails.
    FakePlatform miss = WithPrinters({u"Office"});
    miss.count_override = 32768;
    EXPECT_THROW(SelectPrinterByName(miss, u"Nowhere"), std::overflow_error);

    // 32,769 entries: the last index itself does not fit; no entry is read.
    FakePlatform too_many = WithPrinters({u"Office"});
    too_many.count_override = 32769;
    EXPECT_THROW(SelectPrinterByName(too_many, u"Office"), std::overflow_error);
    EXPECT_EQ(too_many.CallCount(Op::DeviceName), 0);
}

}  // namespace
}  // namespace ploxwen::printers
