#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "persistence/local_file_system.h"
#include "support/store_fixture.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;

std::uint64_t environmentNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 10) : fallback;
}

// Random shows on a real library, some commands with a failing disk: edits in
// the (modal) editor sheet, imports, cancels, set exports and loads, loop list
// changes and restarts.
class MediaLifecycleRandomTest : public test::StoreFixture {
public:
    const std::uint64_t seed = environmentNumber("TAVREL_STRESS_SEED", std::random_device{}());
    const std::uint64_t steps = environmentNumber("TAVREL_STRESS_STEPS", 5000);
    // Sets in "SavedSets" (few, as each is read at every clean-up) and the names they use.
    std::map<fs::path, std::set<std::string>> savedSets;

    bool chance(double probability) { return std::bernoulli_distribution(probability)(m_random); }
    std::size_t below(std::size_t count) {
        return std::uniform_int_distribution<std::size_t>(0, count - 1)(m_random);
    }
    fs::path pick() {
        return sourceFile("pick-" + std::to_string(below(4)) + (chance(0.8) ? ".mp3" : ""));
    }
    // Runs a command; now and then every write of a document fails meanwhile.
    void sometimesFailing(const std::function<void()>& command) {
        if (chance(0.1))
            fileSystem.failEvery(test::FaultInjectingFileSystem::Operation::writeAtomically);
        command();
        fileSystem.clearFailures();
    }
    std::mt19937_64 m_random{seed};
    // The sheet's draft and what it imported.
    std::optional<std::pair<CueSlot, std::set<std::string>>> m_edit;
    void editorStep() {
        if (!m_edit)
            m_edit.emplace(store->document().slots[below(12)], std::set<std::string>{});
        auto& [draft, imports] = *m_edit;
        const auto kind = below(4);
        if (kind < 2) {
            const bool audio = chance(0.6);
            const auto name = store->importFile(pick(), audio ? "audio" : "image");
            imports.insert(name);
            if (chance(0.8))
                (audio ? draft.audioFilename : draft.imageFilename) = name;
        } else if (kind == 2) {
            if (chance(0.1))
                draft.imageFilename.reset();
            bool saved = false;
            sometimesFailing([&] { saved = store->replace(draft, imports); });
            if (saved)
                m_edit.reset();
        } else {
            store->discardSessionImports(imports);
            m_edit.reset();
        }
    }

    void step() {
        // The sheet is modal: nothing else happens while it is open.
        const int kind =
            m_edit ? 0 : std::discrete_distribution<int>{40, 6, 6, 8, 8, 8, 1}(m_random);
        const auto someSet = library().savedSetsURL() / ("set-" + std::to_string(below(2)));
        std::vector<fs::path> files;
        for (std::size_t i = below(4); i < 3; ++i)
            files.push_back(chance(0.1) ? temp.path() / "gone.mp3" : pick());
        switch (kind) {
            case 0:
                return editorStep();
            case 1:
                // Each set once: one written over would leave its old files to no one.
                if (!savedSets.contains(someSet))
                    sometimesFailing([&] {
                        try {
                            store->exportBackup(someSet);
                            savedSets[someSet] = store->document().referencedMediaFilenames();
                        } catch (const std::exception&) {
                        }
                    });
                return;
            case 2:
                if (savedSets.contains(someSet))
                    sometimesFailing([&] { store->restoreBackup(someSet); });
                return;
            case 3:
                return sometimesFailing([&] { store->addLoopTracks(files); });
            case 4:
                return sometimesFailing([&] { store->removeLoopTracks({below(3), below(3)}); });
            case 5:
                return sometimesFailing(
                    [&] { store->replace(CueSlot::empty(static_cast<int>(below(12)))); });
            default:
                restart();
                ASSERT_TRUE(store->didLoadCleanly());
        }
    }

    void check() {
        std::set<std::string> needed = store->document().referencedMediaFilenames();
        for (const auto& [set, names] : savedSets)
            needed.insert(names.begin(), names.end());
        const auto media = mediaNames();
        ASSERT_TRUE(std::ranges::includes(media, needed)) << "a file still in use is gone";
        std::set<std::string> unused;
        std::ranges::set_difference(media, needed, std::inserter(unused, unused.end()));
        for (const auto& name : m_edit ? m_edit->second : std::set<std::string>{})
            unused.erase(name);
        ASSERT_TRUE(unused.empty()) << "nothing uses " << *unused.begin();
    }
};

TEST_F(MediaLifecycleRandomTest, NoReferencedFileIsLostAndNoUnusedOneKept) {
    SCOPED_TRACE("rerun with TAVREL_STRESS_SEED=" + std::to_string(seed));
    for (std::uint64_t i = 0; i < steps && !HasFailure(); ++i) {
        SCOPED_TRACE("step " + std::to_string(i));
        step();
        check();
    }
}

}  // namespace
}  // namespace tavrel
