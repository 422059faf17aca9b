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

}  // namespace

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
