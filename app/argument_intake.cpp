#include "app/argument_intake.h"

#include <stdexcept>

namespace ploxwen::app {

std::vector<std::u16string> SplitArgumentText(std::u16string_view text) {
    std::vector<std::u16string> pieces;
    if (text.empty()) return pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = text.find(kFieldSeparator, start);
        pieces.emplace_back(text.substr(start, bar - start));
        if (bar == std::u16string_view::npos) return pieces;
        start = bar + 1;
    }
}

const std::u16string& PieceAt(const std::vector<std::u16string>& pieces, std::size_t index) {
    if (index >= pieces.size()) throw std::out_of_range("subscript out of range");
    return pieces[index];
}

}  // namespace ploxwen::app
