#include <cstring>
#include <iostream>
#include <string>

#include "app/check_command.h"
#include "app/command_line.h"
#include "app/window_application.h"

int main(int argc, char** argv) {
    if (auto code = tavrel::handleInformationOptions(argc, argv, std::cout, std::cerr))
        return *code;
    tavrel::WindowOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check") == 0)
            return tavrel::runCheckCommand(std::cout);
        if (std::strcmp(argv[i], "--outputs") == 0)
            return tavrel::runOutputsCommand(std::cout, std::cerr);
        if (std::strcmp(argv[i], "--screenshot") == 0) {
            if (i + 1 >= argc) {
                std::cerr << "tavrel: --screenshot에는 PNG 파일 경로가 필요합니다.\n";
                return 64;
            }
            options.screenshotPath = argv[++i];
        }
    }
    return tavrel::runWindowApplication(argc, argv, options);
}
