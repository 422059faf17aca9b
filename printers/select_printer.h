#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace ploxwen::printers {

inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;

// Makes the first listed printer whose device name equals `name` exactly
// (code unit by code unit, case significant, nothing trimmed) the current
// printer. Returns kTrue when one was made current, kFalse when none matched.
// The search runs over the list the platform narrows for `name`.
// Handles no failure: anything that fails ends the search and propagates.
std::int16_t SelectPrinterByName(platform::PrintingServices& printing, std::u16string name);

// The first printer of the whole list whose name differs from `name` only in
// letter case or in spaces around it: the name a user most likely meant when
// none matched exactly. For the failure path only (it reads the whole list).
std::optional<std::u16string> NameMeant(platform::PrintingServices& printing, std::u16string_view name);

}  // namespace ploxwen::printers
