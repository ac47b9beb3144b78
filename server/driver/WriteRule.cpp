// tindrel22-write-rule: prints the device access rule that the driver
// package ships, for the installation.
#include "DeviceAccess.h"

#include <cstdio>

int main()
{
    const std::string rule = tindrel::server::deviceRuleText();
    return std::fwrite(rule.data(), 1, rule.size(), stdout) == rule.size() ? 0 : 1;
}
