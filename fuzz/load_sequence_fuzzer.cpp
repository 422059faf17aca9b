// The whole load sequence on the fake platform: any argument text, a printer
// list built from the input, some printers the spooler refuses, a spooler
// call that fails or a write that comes up short.
//
// Input:
//   byte 0  current printer at start: index in the low 3 bits, 7 for none;
//           bit 3 set: WritePrinter takes at most byte 3 bytes
//   byte 1  bit i set: printer i is listed but cannot be opened
//   byte 2  spooler call that returns zero, 0..6 in job order, 7 for none
//   byte 3  write limit
//   rest    UTF-16 units, split at U+FFFF: the argument text, then up to
//           eight printer names. A name U+FFFE is the typed printer name
//           itself; a name starting U+FFFD is the typed name plus the rest,
//           a near miss.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "app/argument_intake.h"
#include "app/form1.h"
#include "fake/fake_platform.h"
#include "fuzz_check.h"
#include "rawprint/raw_print_job.h"

namespace {

using ploxwen::fake::Document;
using ploxwen::fake::FakePlatform;
using ploxwen::fake::Op;

constexpr std::size_t kMaxPrinters = 8;
const Op kWholeJob[] = {Op::OpenPrinterA,   Op::StartDocPrinterA, Op::StartPagePrinter, Op::WritePrinter,
                        Op::EndPagePrinter, Op::EndDocPrinter,    Op::ClosePrinter};

// The fake's code page.
std::string Latin1(std::u16string_view text) {
    std::string narrow;
    for (char16_t unit : text) narrow.push_back(unit < 0x100 ? static_cast<char>(unit) : '?');
    return narrow;
}

bool InLatin1(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(), [](char16_t unit) { return unit < 0x100; });
}

std::vector<std::u16string> SplitFields(std::u16string_view units) {
    std::vector<std::u16string> fields(1);
    for (char16_t unit : units) {
        if (unit == 0xFFFF) {
            fields.emplace_back();
        } else {
            fields.back().push_back(unit);
        }
    }
    return fields;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    std::u16string units((size - 4) / 2, u'\0');
    std::memcpy(units.data(), data + 4, units.size() * sizeof(char16_t));
    const std::vector<std::u16string> fields = SplitFields(units);

    // What the user typed, split the way the core must split it.
    const std::vector<std::u16string> pieces = ploxwen::app::SplitArgumentText(fields[0]);
    const std::u16string named = pieces.empty() ? std::u16string() : pieces[0];
    const std::u16string payload_text = pieces.size() > 1 ? pieces[1] : std::u16string();

    FakePlatform fake;
    fake.argument_text = fields[0];
    for (std::size_t i = 1; i < fields.size() && fake.printers.size() < kMaxPrinters; ++i) {
        std::u16string name = fields[i];
        if (name == u"\uFFFE") {
            name = named;
        } else if (!name.empty() && name[0] == u'\uFFFD') {
            name = named + name.substr(1);
        }
        // Device names are C strings on every spooler: none holds a NUL.
        name.erase(std::remove(name.begin(), name.end(), u'\0'), name.end());
        if (data[1] & (1u << fake.printers.size())) fake.unopenable.push_back(name);
        fake.printers.push_back(std::move(name));
    }
    const std::size_t start_index = data[0] & 7;
    if (start_index != 7 && start_index < fake.printers.size()) {
        fake.current = static_cast<std::int16_t>(start_index);
    }
    const std::optional<std::u16string> current_before =
        fake.current ? std::optional<std::u16string>(fake.CurrentName()) : std::nullopt;
    if (data[0] & 8) fake.write_limit = data[3];
    const std::size_t zero_at = data[2] & 7;
    if (zero_at < 7) fake.ReturnZeroOn(kWholeJob[zero_at]);

    ploxwen::app::Form1 form(fake.AsPlatform());
    try {
        form.OnLoad();
    } catch (...) {
        FUZZ_CHECK(!"an exception escaped OnLoad");
    }

    const int status = form.exit_status();
    const bool listed = std::find(fake.printers.begin(), fake.printers.end(), named) != fake.printers.end();
    const std::string payload = Latin1(payload_text);
    const bool short_write = fake.write_limit && *fake.write_limit < payload.size();
    const std::vector<Op> spooler_calls = fake.SpoolerCalls();
    const std::vector<Op> whole_job(std::begin(kWholeJob), std::end(kWholeJob));

    FUZZ_CHECK(status >= 0 && status <= 3);
    if (!pieces.empty()) FUZZ_CHECK(fake.text1 == named);
    if (pieces.size() > 1) FUZZ_CHECK(fake.text2 == payload_text);

    // Every handle opened is closed, once.
    FUZZ_CHECK(fake.documents.size() <= 1);
    FUZZ_CHECK(fake.CallCount(Op::ClosePrinter) == static_cast<int>(fake.documents.size()));
    FUZZ_CHECK(fake.open_handles == 0);

    // A document only ever reaches the printer named, and only by a name
    // the code page spells exactly: a replacement character could spell
    // another printer's name.
    for (const Document& document : fake.documents) {
        FUZZ_CHECK(listed);
        FUZZ_CHECK(InLatin1(named));
        std::u16string widened;
        for (unsigned char byte : document.printer) widened.push_back(byte);
        FUZZ_CHECK(widened == named);
    }

    switch (status) {
        case 0:
        case 3: {
            FUZZ_CHECK(listed);
            FUZZ_CHECK(spooler_calls == whole_job);
            FUZZ_CHECK(fake.documents.size() == 1);
            FUZZ_CHECK(fake.messages.empty());
            FUZZ_CHECK(fake.ended_with == status);
            const bool spooler_failed = zero_at != 7 || short_write;
            FUZZ_CHECK(spooler_failed == (status == 3));
            if (status == 0) {
                const Document& document = fake.documents[0];
                FUZZ_CHECK(document.doc_name == std::string("Command Print"));
                FUZZ_CHECK(!document.output_file && !document.data_type && document.level == 1);
                FUZZ_CHECK(document.started && document.ended);
                FUZZ_CHECK(document.pages_started == 1 && document.pages_ended == 1);
                FUZZ_CHECK(document.writes == std::vector<std::string>{payload});
            }
            break;
        }
        case 1:
            FUZZ_CHECK(!listed);
            FUZZ_CHECK(spooler_calls.empty());
            FUZZ_CHECK(fake.messages.empty());
            FUZZ_CHECK(fake.ended_with == 1);
            break;
        case 2:
            // Nothing but the refused open reached the spooler, and not even
            // that for a name the code page cannot spell exactly; the message
            // was shown and the program waits in its window.
            FUZZ_CHECK(listed);
            FUZZ_CHECK(spooler_calls ==
                       (InLatin1(named) ? std::vector<Op>{Op::OpenPrinterA} : std::vector<Op>{}));
            FUZZ_CHECK(fake.documents.empty());
            FUZZ_CHECK(fake.messages ==
                       std::vector<std::u16string>{ploxwen::rawprint::kNotRecognizedMessage});
            FUZZ_CHECK(!fake.ended_with);
            FUZZ_CHECK(fake.CurrentName() == named);
            break;
    }
    // The printer current at start is current again when the program ends.
    if (status != 2 && current_before) FUZZ_CHECK(fake.CurrentName() == *current_before);
    return 0;
}
