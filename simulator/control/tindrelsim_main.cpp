// tindrelsim: plugs and unplugs simulated devices in a running program.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "control_client.h"

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string cwd;
    if (char *here = getcwd(nullptr, 0)) {
        cwd = here;
        free(here);
    }
    return tindrel::control::runTool(args, tindrel::control::currentSocketEnvironment(), cwd, std::cout, std::cerr);
}
