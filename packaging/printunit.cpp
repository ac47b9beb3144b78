// Prints the network server's service description, as the service manager
// program writes it, for the package to ship.
#include "ServiceDescription.h"

#include <cstdio>

int main()
{
    const auto unit = tindrel::server::renderUnit(tindrel::server::networkServerDescription(false));
    if (!unit.error.empty()) {
        std::fprintf(stderr, "tindrel22-print-unit: %s\n", unit.error.c_str());
        return 1;
    }
    std::fputs(unit.text.c_str(), stdout);
    return 0;
}
