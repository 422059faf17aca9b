// The whole load sequence on the fake platform, checked against the oracle:
// any argument text, a printer list built from the input, printers the
// spooler refuses, a spooler call returning zero, a short write.
//
// Input: byte 0: current printer at start (low 3 bits, 7: none), bit 3: the
// write comes up short; byte 1: bit i set, printer i is refused; byte 2: the
// spooler call (0..6 in job order, 7: none) that returns zero; then UTF-16
// units split at U+FFFF: the argument text and up to eight printer names. A
// name U+FFFE is the typed printer name; a name starting U+FFFD is the typed
// name plus the rest, a near miss.
#include <algorithm>
#include <cstring>

#include "app/argument_intake.h"
#include "app/form1.h"
#include "fake/load_oracle.h"
#include "fuzz_check.h"

using namespace ploxwen;
using fake::Fails;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    std::vector<std::u16string> fields(1);
    for (std::size_t i = 3; i + 1 < size; i += 2) {
        char16_t unit;
        std::memcpy(&unit, data + i, 2);
        if (unit == 0xFFFF) {
            fields.emplace_back();
        } else {
            fields.back().push_back(unit);
        }
    }
    const std::vector<std::u16string> pieces = app::SplitArgumentText(fields[0]);
    const std::u16string named = pieces.empty() ? u"" : pieces[0], text = pieces.size() < 2 ? u"" : pieces[1];

    fake::FakePlatform fake;
    fake.argument_text = fields[0];
    for (std::size_t i = 1; i < fields.size() && i <= 8; ++i) {
        std::u16string name = fields[i] == u"\uFFFE" ? named : fields[i];
        if (!name.empty() && name[0] == u'\uFFFD') name = named + name.substr(1);
        // Device names are non-empty C strings on every spooler.
        name.erase(std::remove(name.begin(), name.end(), u'\0'), name.end());
        if (name.empty()) continue;
        if (data[1] & (1u << (i - 1))) fake.unopenable.push_back(name);
        fake.printers.push_back(name);
    }
    if ((data[0] & 7u) < fake.printers.size()) fake.current = data[0] & 7;
    const std::u16string saved = fake.CurrentName();
    using fake::Step;
    static constexpr Step kSpoolerSteps[] = {Step::kOpen,    Step::kStartDoc, Step::kStartPage, Step::kWrite,
                                             Step::kEndPage, Step::kEndDoc,   Step::kClose};
    if ((data[2] & 7u) < 7) fake.faults.push_back({kSpoolerSteps[data[2] & 7], Fails::kReturnsZero});
    if ((data[0] & 8) && fake::Latin1(text).size() > 2)
        fake.faults.push_back({Step::kWrite, Fails::kWritesShort});

    // What the arrangement amounts to, in the order the run meets it, then the faults that fired.
    const auto listed = std::find(fake.printers.begin(), fake.printers.end(), named);
    std::vector<oracle::Outcome> effects;
    if (!fake.current) effects.push_back(*oracle::After({Step::kSavedPrinter, Fails::kThrows}));
    if (listed == fake.printers.end()) effects.push_back(oracle::kNoMatch);
    if (std::any_of(named.begin(), named.end(), [](char16_t unit) { return unit > 0xFF; }))
        effects.push_back(oracle::kOpenFailed);
    if (std::count(fake.unopenable.begin(), fake.unopenable.end(), named))
        effects.push_back(oracle::kOpenRefused);

    app::Form1 form(fake.AsPlatform());
    form.OnLoad();
    for (const oracle::Outcome& effect : oracle::Effects(fake.fired)) effects.push_back(effect);
    const std::string mismatch =
        oracle::Mismatch(fake, form.exit_status(), oracle::Combine(effects), named, text, saved);
    if (!mismatch.empty()) ploxwen::fuzz::Fail(mismatch.c_str(), __FILE__, __LINE__);
    return 0;
}
