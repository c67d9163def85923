#pragma once

#include <optional>
#include <ostream>

namespace tavrel {

// `--version` and `--help`: prints to `out` and returns the exit code, or
// nullopt when neither was asked for and the application should start.
std::optional<int> handleInformationOptions(int argc, char** argv, std::ostream& out);

}  // namespace tavrel
