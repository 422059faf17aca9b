// What a run says last: its cause line, if any, and its exit status.
#pragma once

#include <string>

#include "app/exit_status.h"

namespace ploxwen::app {

// The cause line for a run ending with `status`: `cause` (the backend's own
// words) where there is one, else a plain default. Empty for the statuses
// that stay silent (printed, no printer matched).
std::string CauseLine(ExitStatus status, const std::string& cause);

}  // namespace ploxwen::app
