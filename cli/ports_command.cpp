#include <cstdio>

#include "commands.h"
#include "port_list.h"

namespace orvanta {

// One port a line on stdout, so a script can take the first word of each; the note that there
// are none goes to stderr, leaving stdout empty.
int run_ports(Verbosity verbosity)
{
    std::vector<PortInfo> ports = list_ports();
    if (ports.empty() && verbosity != Verbosity::Quiet)
        std::fprintf(stderr, "no serial ports found\n");
    for (const PortInfo& port : ports)
        std::printf("%s\n", port_line(port).c_str());
    return EXIT_DONE;
}

}  // namespace orvanta
