#include <unistd.h>

#include "tools/monitor/terminal.h"

namespace larkwire::monitor {

bool prepareScreenRedraw() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace larkwire::monitor
