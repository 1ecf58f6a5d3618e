// kavrel-cli: whether standard input is a terminal. The one place of the
// command-line tool with a POSIX branch, kept apart from its Windows one.
#include "tools/CliSession.h"

#ifdef _WIN32
#include <io.h>

#include <cstdio>
#else
#include <unistd.h>
#endif

namespace cli {

bool InputIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stdin)) != 0;
#else
  return isatty(STDIN_FILENO) != 0;
#endif
}

}  // namespace cli
