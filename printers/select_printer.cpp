#include "printers/select_printer.h"

#include <limits>
#include <stdexcept>

namespace ploxwen::printers {
namespace {

// The index and its bound are 16-bit signed; leaving that range is a failure,
// not a wrap-around.
std::int16_t ToIndex(std::int64_t value) {
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max()) {
        throw std::overflow_error("printer index overflow");
    }
    return static_cast<std::int16_t>(value);
}

// One letter of either case as the other: ASCII, Latin-1, Greek and Cyrillic,
// the scripts printer names are written in; the rest stays as it is.
char16_t Lower(char16_t c) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB) ||
        (c >= 0x410 && c <= 0x42F))
        return static_cast<char16_t>(c + 0x20);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
    return c;
}

// `name` without its surrounding spaces and tabs, in lower case.
std::u16string Folded(std::u16string_view name) {
    const std::size_t first = name.find_first_not_of(u" \t");
    if (first == std::u16string_view::npos) return {};
    std::u16string folded(name.substr(first, name.find_last_not_of(u" \t") - first + 1));
    for (char16_t& c : folded) c = Lower(c);
    return folded;
}

}  // namespace

std::optional<std::u16string> NameMeant(platform::PrintingServices& printing, std::u16string_view name) {
    const std::u16string wanted = Folded(name);
    if (wanted.empty()) return std::nullopt;
    const auto list = printing.ObtainPrinterList();
    for (std::int32_t index = 0; index < list->Count() && index <= 0x7FFF; ++index) {
        std::u16string listed = list->DeviceName(static_cast<std::int16_t>(index));
        if (listed != name && Folded(listed) == wanted) return listed;
    }
    return std::nullopt;
}

std::int16_t SelectPrinterByName(platform::PrintingServices& printing, std::u16string name) {
    // Over the list narrowed for this name: the same outcome as over the
    // whole list (see PrintingServices::ObtainPrinterListFor).
    const auto list = [&] { return printing.ObtainPrinterListFor(name); };
    std::int16_t result = kFalse;
    if (list()->Count() <= 0) return result;
    const std::int16_t last_index = ToIndex(static_cast<std::int64_t>(list()->Count()) - 1);

    for (std::int16_t index = 0; index <= last_index; index = ToIndex(index + 1)) {
        if (list()->DeviceName(index) == name) {
            list()->MakeCurrent(index);
            result = kTrue;
            break;
        }
    }
    return result;
}

}  // namespace ploxwen::printers
