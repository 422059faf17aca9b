#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ploxwen::app {

// U+00A6 BROKEN BAR separates the printer name from the data.
inline constexpr char16_t kFieldSeparator = u'\u00A6';

// Splits at every separator, trimming nothing. Empty text gives no pieces.
std::vector<std::u16string> SplitArgumentText(std::u16string_view text);

// pieces[index], or a thrown subscript error when there is no such piece.
const std::u16string& PieceAt(const std::vector<std::u16string>& pieces, std::size_t index);

}  // namespace ploxwen::app
