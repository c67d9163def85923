// Kills tavrel_crash_writer with SIGKILL at random moments and checks after
// every kill, and the clean-up of leftovers the next start makes, that what it
// was writing is one complete generation it wrote: "cues.json" for saves, the
// whole set folder for exports over an existing set.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/uuid.h"
#include "model/document_json.h"
#include "persistence/cue_persistence.h"
#include "persistence/local_file_system.h"
#include "stress/crash_documents.h"

extern char** environ;

namespace tavrel::stress {
namespace {

namespace fs = std::filesystem;

struct Options {
    std::string mode = "save";
    int kills = 50;
    // An export copies the media and takes much longer than a save.
    int maxDelayMicroseconds = 0;
    std::uint64_t seed = std::random_device{}();
};

struct Tally {
    int kills = 0;
    int failures = 0;
    int killedBeforeFirstWrite = 0;  // the child had not begun a generation
    int interruptedWrites = 0;       // the generation being written was not on disk yet
    int completedWrites = 0;         // it was
    std::int64_t generationsBegun = 0;
};

void writeWhole(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Starts the writer with its stdout on a pipe; returns the pid and the read end.
std::pair<pid_t, int> spawnWriter(const std::vector<std::string>& arguments) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (error != 0) {
        ::close(fds[0]);
        throw std::runtime_error(std::string("posix_spawn: ") + std::strerror(error));
    }
    return {pid, fds[0]};
}

// Everything the child announced before it died; the last complete line counts.
std::optional<std::int64_t> lastAnnounced(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    const auto end = text.rfind('\n');
    if (end == std::string::npos)
        return std::nullopt;
    text.resize(end);
    const auto start = text.rfind('\n');
    const std::string line = start == std::string::npos ? text : text.substr(start + 1);
    return std::stoll(line);
}

int hiddenLeftovers(const fs::path& folder) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with("."))
            ++count;
    }
    return count;
}

int run(const Options& options, const fs::path& writer, const fs::path& root) {
    const bool exporting = options.mode == "export";
    const CuePersistence persistence(root / "Tavrel");
    persistence.prepareDirectories(LocalFileSystem::shared());
    const fs::path set = persistence.savedSetsURL() / "Show";
    const fs::path watched = exporting ? set : persistence.documentURL();
    if (exporting) {
        for (const auto& name : crashMediaNames())
            writeWhole(persistence.mediaURL() / name, crashMediaBytes(name));
    }
    // The driver writes a good starting state itself, and again after a failure.
    auto establish = [&](std::int64_t generation) {
        if (exporting)
            persistence.exportBackup(crashDocument(generation), set, LocalFileSystem::shared());
        else
            persistence.save(crashDocument(generation), LocalFileSystem::shared());
        return generation;
    };
    std::int64_t confirmed = establish(0);

    std::mt19937_64 random(options.seed);
    int maxDelay = options.maxDelayMicroseconds;
    Tally tally;
    const auto foundBoth = [&] { return tally.interruptedWrites > 0 && tally.completedWrites > 0; };
    for (int kill = 0; kill < options.kills || (!foundBoth() && kill < 4 * options.kills); ++kill) {
        // A loaded machine writes more slowly: past the planned kills, reach
        // further (or less far) for the state the kills have not found yet.
        if (kill >= options.kills && kill % 10 == 0)
            maxDelay = tally.completedWrites == 0 ? maxDelay * 2 : std::max(1, maxDelay / 2);
        const std::int64_t first = confirmed + 1;
        std::vector<std::string> arguments = {writer.string(), options.mode,
                                              persistence.rootURL().string()};
        if (exporting)
            arguments.push_back(set.string());
        arguments.push_back(std::to_string(first));
        const auto [pid, output] = spawnWriter(arguments);
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, maxDelay)(random)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ++tally.kills;
        const auto announced = lastAnnounced(output);
        if (!WIFSIGNALED(status)) {
            std::cerr << "kill " << kill << ": the writer stopped by itself (status " << status
                      << ")\n";
            ++tally.failures;
            confirmed = establish(announced.value_or(first) + 1);
            continue;
        }
        // Generation `announced` may or may not have reached the disk.
        const std::int64_t high = announced.value_or(confirmed);
        const std::int64_t low = announced ? high - 1 : confirmed;
        if (announced)
            tally.generationsBegun += *announced - first + 1;
        else
            ++tally.killedBeforeFirstWrite;
        // What the next start does once it holds the library: removes the
        // staging the kill left, and puts back a set that was moved aside.
        persistence.removeStagingLeftovers(LocalFileSystem::shared());
        std::int64_t found = -1;
        const auto problem = exporting ? checkSetFolder(set, low, high, found)
                                       : checkDocumentFile(watched, low, high, found);
        if (!problem.empty()) {
            std::cerr << "kill " << kill << " (after " << high << "): " << problem << "\n";
            ++tally.failures;
            confirmed = establish(high + 1);
            continue;
        }
        if (announced && found == high - 1)
            ++tally.interruptedWrites;
        else if (announced)
            ++tally.completedWrites;
        confirmed = found;
    }

    const fs::path litterFolder = exporting ? persistence.savedSetsURL() : persistence.rootURL();
    std::cout << "crash " << options.mode << ": seed " << options.seed << ", kills " << tally.kills
              << ", failures " << tally.failures << ", generations begun " << tally.generationsBegun
              << ", kills inside a write " << tally.interruptedWrites
              << ", kills after a complete write " << tally.completedWrites
              << ", kills before the first write " << tally.killedBeforeFirstWrite
              << ", hidden leftovers in " << litterFolder.filename().string() << " "
              << hiddenLeftovers(litterFolder) << "\n";
    if (tally.failures > 0)
        return 1;
    if (hiddenLeftovers(litterFolder) > 0) {
        std::cerr << "the clean-up after each kill left hidden entries behind\n";
        return 1;
    }
    // A run whose kills never landed inside a write proved nothing.
    if (tally.kills >= 20 && (tally.interruptedWrites == 0 || tally.completedWrites == 0)) {
        std::cerr
            << "the kills never found the old or never the new state; change --max-delay-us\n";
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace tavrel::stress

int main(int argc, char** argv) {
    tavrel::stress::Options options;
    std::string writer;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const std::string value = argv[i + 1];
        if (key == "--writer")
            writer = value;
        else if (key == "--mode")
            options.mode = value;
        else if (key == "--kills")
            options.kills = std::stoi(value);
        else if (key == "--max-delay-us")
            options.maxDelayMicroseconds = std::stoi(value);
        else if (key == "--seed")
            options.seed = std::stoull(value);
    }
    if (options.maxDelayMicroseconds == 0)
        options.maxDelayMicroseconds = options.mode == "export" ? 250000 : 40000;
    if (writer.empty() || (options.mode != "save" && options.mode != "export")) {
        std::cerr << "usage: tavrel_crash_driver --writer PATH [--mode save|export] [--kills N]"
                     " [--max-delay-us N] [--seed N]\n";
        return 64;
    }
    namespace fs = std::filesystem;
    const fs::path root =
        fs::temp_directory_path() / ("tavrel-crash-" + tavrel::Uuid::random().text());
    fs::create_directories(root);
    int result = 1;
    try {
        result = tavrel::stress::run(options, writer, root);
    } catch (const std::exception& error) {
        std::cerr << "tavrel_crash_driver: " << error.what() << "\n";
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return result;
}
