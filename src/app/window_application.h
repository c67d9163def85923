#pragma once

#include <filesystem>
#include <optional>

namespace tavrel {

struct WindowOptions {
    // Render the window offscreen, write it here as PNG and exit.
    std::optional<std::filesystem::path> screenshotPath;
};

// Runs the window until it closes. Without a display, or with a screenshot
// path, renders offscreen instead, writes the screenshot (by default
// build/screenshots/main.png), says where in one line and returns 0.
int runWindowApplication(int argc, char** argv, const WindowOptions& options);

}  // namespace tavrel
