#include <cstring>
#include <iostream>
#include <string>

#include "app/check_command.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check") == 0) {
            return tavrel::runCheckCommand(std::cout);
        }
    }
    std::cerr << "tavrel: the window is not built yet; use --check\n";
    return 64;
}
