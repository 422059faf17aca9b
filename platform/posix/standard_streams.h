// Standard input, output and error as the program expects them to be.
#pragma once

namespace ploxwen::posix {

// Opens each of descriptors 0, 1 and 2 that the caller left closed on
// /dev/null. Run first thing in main(): otherwise the next descriptor opened,
// the connection to the spooler, would take the closed number, and the
// message and cause line written to stderr would go into that connection.
void OpenClosedStandardStreams();

}  // namespace ploxwen::posix
