#include "printers/select_printer.h"

#include <gtest/gtest.h>

#include "fake/fake_platform.h"

namespace ploxwen::printers {
namespace {

using fake::FakePlatform;

FakePlatform WithPrinters(std::vector<std::u16string> names) {
    FakePlatform fake;
    fake.printers = std::move(names);
    fake.current = 0;
    return fake;
}

TEST(SelectPrinterByName, MakesTheFirstExactMatchCurrentAndNearMissesNothing) {
    const std::vector<std::u16string> printers = {u"Office", u"Twin", u"Twin", u"", u"Label"};
    const std::pair<std::u16string, int> cases[] = {
        {u"Label", 4}, {u"Twin", 1},   {u"", 3},  // an empty name matches only an empty device name
        {u"label", 0}, {u"Label ", 0}, {u" Label", 0}, {u"Labe", 0}, {u"Nowhere", 0},
    };
    for (const auto& [name, index] : cases) {
        FakePlatform fake = WithPrinters(printers);
        EXPECT_EQ(SelectPrinterByName(fake, name), index ? kTrue : kFalse)
            << std::string(name.begin(), name.end());
        EXPECT_EQ(fake.current, index);
    }
}

TEST(SelectPrinterByName, IndexStaysWithinSixteenBits) {
    // 32,768 printers: the last index, 32,767, still fits...
    FakePlatform last = WithPrinters(std::vector<std::u16string>(32768, u"Other"));
    last.printers.back() = u"Far";
    EXPECT_EQ(SelectPrinterByName(last, u"Far"), kTrue);
    EXPECT_EQ(last.current, 32767);
    // ...but searching past it steps beyond 32,767, which fails.
    EXPECT_THROW(SelectPrinterByName(last, u"Nowhere"), std::overflow_error);
    // 32,769 printers: the last index itself does not fit; no entry is read.
    FakePlatform too_many = WithPrinters(std::vector<std::u16string>(32769, u"Office"));
    too_many.printers[0] = u"Other";
    EXPECT_THROW(SelectPrinterByName(too_many, u"Office"), std::overflow_error);
    EXPECT_EQ(too_many.current, 0);  // Office at index 1 was never reached
}

TEST(SelectPrinterByName, SearchesTheNarrowedListSoManyPrintersDoNotOverflow) {
    // 40,000 printers, which the backend narrows to those that may match.
    struct Narrowing final : platform::PrintingServices {
        FakePlatform whole = WithPrinters(std::vector<std::u16string>(40000, u"Far"));
        FakePlatform narrowed = WithPrinters({u"far", u"Far"});
        std::unique_ptr<platform::PrinterList> ObtainPrinterList() override {
            return whole.ObtainPrinterList();
        }
        std::unique_ptr<platform::PrinterList> ObtainPrinterListFor(std::u16string_view) override {
            return narrowed.ObtainPrinterList();
        }
        std::u16string CurrentDeviceName() override { return narrowed.CurrentDeviceName(); }
    } backend;
    EXPECT_EQ(SelectPrinterByName(backend, u"Far"), kTrue);
    EXPECT_EQ(backend.narrowed.current, 1);  // the exact match only
    EXPECT_TRUE(backend.whole.calls.empty());
}

}  // namespace
}  // namespace ploxwen::printers
