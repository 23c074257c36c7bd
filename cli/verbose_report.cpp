#include "verbose_report.h"

#include <cstdio>

#include "port_list.h"
#include "text.h"
#include "line_settings.h"

namespace orvanta {

void report_port_and_line(const std::string& port, std::uint32_t baud)
{
    std::optional<PortInfo> known = find_port(port);
    std::string identity = known ? port_identity(*known) : std::string();
    if (identity.empty())
        identity = "no device information";
    std::fprintf(stderr, "port: %s  %s\n", printable(port).c_str(), identity.c_str());
    std::fprintf(stderr, "line: %s\n", line_settings_text(baud).c_str());
}

}  // namespace orvanta
