// The cause line: the one line a run that ends in failure writes, naming why.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "steps/exit_status.h"

namespace ploxwen::app {

// The cause for a run ending with `status`: `noted` (the words of the run's
// first failure, platform::Cause) where there are any, else the status's own
// plain words. Empty for the statuses that stay silent. One line of text,
// control characters in the noted words coming out as '?', and for status 1
// the usage line after it.
std::string CauseLine(steps::ExitStatus status, const std::string& noted);

inline constexpr char16_t kUsage[] = u"usage: ploxwen \"PRINTER\u00A6DATA\" (see ploxwen(1))";

// Status 1's words: the name typed and, where one differs from it only in
// case or spaces, the name `meant`; with `usage`, the usage on a line of its
// own. With no argument at all, only that it is missing, and the usage.
std::u16string NoSuchPrinterWords(std::u16string_view typed, const std::optional<std::u16string>& meant,
                                  bool usage, bool no_argument);

}  // namespace ploxwen::app
