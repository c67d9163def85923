// Kills a writer child with SIGKILL at random moments and checks after
// every kill, and the clean-up of leftovers the next start makes, that what it
// was writing is one complete generation it wrote: "cues.json" for saves, the
// whole set folder for exports over an existing set.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "base/uuid.h"
#include "persistence/cue_persistence.h"
#include "persistence/local_file_system.h"
#include "stress/crash_documents.h"

namespace tavrel::stress {
namespace {

namespace fs = std::filesystem;

// Saves (or exports) one generation after another from `first` in a child
// until it is killed. Before each it writes the number on a line to the pipe,
// in one write(), so the driver knows which documents may be on disk.
std::pair<pid_t, int> spawnWriter(const std::function<void(std::int64_t)>& write,
                                  std::int64_t first) {
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        try {
            for (auto generation = first;; write(generation++)) {
                const std::string line = std::to_string(generation) + "\n";
                if (::write(fds[1], line.data(), line.size()) != ssize_t(line.size()))
                    std::_Exit(4);
            }
        } catch (const std::exception& error) {
            std::cerr << "writer: " << error.what() << "\n";
        }
        std::_Exit(3);  // never back into the driver's own clean-up
    }
    ::close(fds[1]);
    return {pid, fds[0]};
}

// The last generation the child announced on a complete line before it died.
std::optional<std::int64_t> lastAnnounced(int fd) {
    std::ifstream in("/proc/self/fd/" + std::to_string(fd));
    std::string text((std::istreambuf_iterator<char>(in)), {});
    ::close(fd);
    text.erase(text.rfind('\n') + 1);  // a line the kill cut short does not count
    std::istringstream lines(text);
    std::optional<std::int64_t> last;
    for (std::int64_t generation; lines >> generation;)
        last = generation;
    return last;
}

int hiddenLeftovers(const fs::path& folder) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        count += entry.path().filename().string().starts_with(".");
    return count;
}

int run(const std::map<std::string, std::string>& options, const fs::path& root) {
    const bool exporting = options.at("--mode") == "export";
    const int kills = std::stoi(options.at("--kills"));
    int maxDelay = std::stoi(options.at("--max-delay-us"));
    const auto seed = std::stoull(options.at("--seed"));
    const CuePersistence persistence(root / "Tavrel");
    auto& disk = LocalFileSystem::shared();
    persistence.prepareDirectories(disk);
    const fs::path set = persistence.savedSetsURL() / "Show";
    for (const auto& name : crashMediaNames())
        disk.writeAtomically(persistence.mediaURL() / name, crashMediaBytes(name));
    // The driver writes a good starting state itself, and again after a failure.
    const auto write = [&](std::int64_t generation) {
        exporting ? persistence.exportBackup(crashDocument(generation), set, disk)
                  : (void)persistence.save(crashDocument(generation), disk);
    };
    auto establish = [&](std::int64_t generation) { return write(generation), generation; };
    std::int64_t confirmed = establish(0);
    std::mt19937_64 random(seed);
    int failures = 0, interrupted = 0, completed = 0, kill = 0;
    for (; kill < kills || ((interrupted == 0 || completed == 0) && kill < 4 * kills); ++kill) {
        // A loaded machine writes more slowly: past the planned kills, reach
        // further (or less far) for the state the kills have not found yet.
        if (kill >= kills && kill % 10 == 0)
            maxDelay = completed == 0 ? maxDelay * 2 : std::max(1, maxDelay / 2);
        const auto [pid, output] = spawnWriter(write, confirmed + 1);
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, maxDelay)(random)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        const auto announced = lastAnnounced(output);
        // Generation `announced` may or may not have reached the disk.
        const std::int64_t high = announced.value_or(confirmed);
        const std::int64_t low = announced ? high - 1 : confirmed;
        // What the next start does: removes the staging the kill left, and
        // puts back a set that was moved aside.
        persistence.removeStagingLeftovers(disk);
        std::int64_t found = -1;
        auto problem = exporting ? checkSetFolder(set, low, high, found)
                                 : checkDocumentFile(persistence.documentURL(), low, high, found);
        if (!WIFSIGNALED(status))
            problem = "the writer stopped by itself (status " + std::to_string(status) + ")";
        if (!problem.empty()) {
            std::cerr << "kill " << kill << " (after " << high << "): " << problem << "\n";
            ++failures;
            confirmed = establish(high + 1);
            continue;
        }
        interrupted += announced && found == high - 1;
        completed += announced && found == high;
        confirmed = found;
    }
    const fs::path litter = exporting ? persistence.savedSetsURL() : persistence.rootURL();
    std::cout << "crash " << options.at("--mode") << ": seed " << seed << ", kills " << kill
              << ", failures " << failures << ", kills inside a write " << interrupted
              << ", kills after a complete write " << completed << ", hidden leftovers "
              << hiddenLeftovers(litter) << "\n";
    // A run whose kills never landed inside a write, or never after one, proved nothing.
    const bool blind = kill >= 20 && (interrupted == 0 || completed == 0);
    if (blind)
        std::cerr << "the kills never found the old or the new state; change --max-delay-us\n";
    return failures > 0 || hiddenLeftovers(litter) > 0 || blind;
}

}  // namespace
}  // namespace tavrel::stress

int main(int argc, char** argv) {
    std::map<std::string, std::string> options = {
        {"--mode", "save"}, {"--kills", "50"}, {"--seed", std::to_string(std::random_device{}())}};
    for (int i = 1; i + 1 < argc; i += 2)
        options[argv[i]] = argv[i + 1];
    // An export copies the media and takes much longer than a save.
    options.try_emplace("--max-delay-us", options["--mode"] == "export" ? "250000" : "40000");
    if (options["--mode"] != "save" && options["--mode"] != "export") {
        std::cerr << "usage: tavrel_crash_driver [--mode save|export] [--kills N]"
                     " [--max-delay-us N] [--seed N]\n";
        return 64;
    }
    const auto root =
        std::filesystem::temp_directory_path() / ("tavrel-crash-" + tavrel::Uuid::random().text());
    std::filesystem::create_directories(root);
    int result = 1;
    try {
        result = tavrel::stress::run(options, root);
    } catch (const std::exception& error) {
        std::cerr << "tavrel_crash_driver: " << error.what() << "\n";
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return result;
}
