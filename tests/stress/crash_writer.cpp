// Saves (or exports) one generation after another until it is killed. Before
// each one it writes the generation number to stdout, unbuffered, so the
// driver knows which documents may be on disk.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

#include "persistence/cue_persistence.h"
#include "persistence/local_file_system.h"
#include "stress/crash_documents.h"

namespace {

void announce(std::int64_t generation) {
    const std::string line = std::to_string(generation) + "\n";
    // One write() per line: the driver may read it right after a kill.
    if (::write(STDOUT_FILENO, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        std::_Exit(4);
}

}  // namespace

int main(int argc, char** argv) {
    using tavrel::CuePersistence;
    using tavrel::LocalFileSystem;
    const bool exporting = argc == 5 && std::strcmp(argv[1], "export") == 0;
    const bool saving = argc == 4 && std::strcmp(argv[1], "save") == 0;
    if (!exporting && !saving) {
        std::cerr << "usage: tavrel_crash_writer save LIBRARY FIRST\n"
                     "       tavrel_crash_writer export LIBRARY DESTINATION FIRST\n";
        return 64;
    }
    const CuePersistence persistence(argv[2]);
    std::int64_t generation = std::atoll(argv[argc - 1]);
    try {
        for (;; ++generation) {
            announce(generation);
            const auto document = tavrel::stress::crashDocument(generation);
            if (exporting)
                persistence.exportBackup(document, argv[3], LocalFileSystem::shared());
            else
                persistence.save(document, LocalFileSystem::shared());
        }
    } catch (const std::exception& error) {
        std::cerr << "tavrel_crash_writer: generation " << generation << ": " << error.what()
                  << "\n";
        return 3;
    }
}
