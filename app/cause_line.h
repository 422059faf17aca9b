// The cause line: the one line a run that ends in failure writes, naming why.
#pragma once

#include <string>

#include "steps/exit_status.h"

namespace ploxwen::app {

// The cause for a run ending with `status`: `noted` (the words of the run's
// first failure, platform::Cause) where there are any, else the status's own
// plain words. Empty for the statuses that stay silent. Always one line of
// text: control characters in the noted words come out as '?'.
std::string CauseLine(steps::ExitStatus status, const std::string& noted);

}  // namespace ploxwen::app
