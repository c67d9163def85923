#pragma once

#include <optional>
#include <ostream>

namespace tavrel {

// `--version` and `--help`: prints to `out` and returns 0. An argument that is
// no option of ours: prints it and the help to `err` and returns 2. Otherwise
// nullopt: the application should start.
std::optional<int> handleInformationOptions(int argc, char** argv, std::ostream& out,
                                            std::ostream& err);

}  // namespace tavrel
