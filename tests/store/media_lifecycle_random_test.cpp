#include <gtest/gtest.h>

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

// The editor sheet, open on a draft of one slot. It is modal: while it is
// open the user can only pick files, commit or cancel.
struct Edit {
    CueSlot draft;
    std::set<std::string> imports;
    bool commitFailed = false;
};

// Random shows: edits, imports, cancels, set exports and loads, loop list
// changes and restarts, some with a failing disk, on a real library.
class MediaLifecycleRandomTest : public test::StoreFixture {
public:
    void step();
    void check();

    const std::uint64_t seed = environmentNumber("TAVREL_STRESS_SEED", std::random_device{}());
    const std::uint64_t steps = environmentNumber("TAVREL_STRESS_STEPS", 5000);
    // Sets in "SavedSets" and the names they use.
    std::map<fs::path, std::set<std::string>> savedSets;

private:
    bool chance(double probability) { return std::bernoulli_distribution(probability)(m_random); }
    std::size_t below(std::size_t count) {
        return std::uniform_int_distribution<std::size_t>(0, count - 1)(m_random);
    }
    fs::path pick() {
        return sourceFile("pick-" + std::to_string(below(4)) + (chance(0.8) ? ".mp3" : ""));
    }
    std::set<std::size_t> somePositions() {
        return {below(store->document().loopTracks.size() + 1), below(4)};
    }
    // Runs a command; now and then every write of a document fails meanwhile.
    void sometimesFailing(const std::function<void()>& command) {
        if (chance(0.1))
            fileSystem.failEvery(test::FaultInjectingFileSystem::Operation::writeAtomically);
        command();
        fileSystem.clearFailures();
    }
    void editorStep();
    void restartStep();
    void setStep();

    std::mt19937_64 m_random{seed};
    std::optional<Edit> m_edit;
    // Copies of commits whose save failed, left when the application quit with the sheet open.
    std::set<std::string> m_leftByFailedSaves;
};

void MediaLifecycleRandomTest::editorStep() {
    if (!m_edit)
        m_edit = Edit{store->document().slots[below(12)], {}, false};
    auto& draft = m_edit->draft;
    const auto kind = below(4);
    if (kind < 2) {
        const bool audio = chance(0.6);
        const auto name = store->importFile(pick(), audio ? "audio" : "image");
        m_edit->imports.insert(name);
        if (chance(0.8))
            (audio ? draft.audioFilename : draft.imageFilename) = name;
    } else if (kind == 2) {
        const auto names = store->document().referencedMediaFilenames();
        if (!names.empty() && chance(0.2))
            draft.audioFilename = *std::next(names.begin(), static_cast<long>(below(names.size())));
        if (chance(0.1))
            draft.imageFilename.reset();
        sometimesFailing([&] { m_edit->commitFailed = !store->replace(draft, m_edit->imports); });
        if (!m_edit->commitFailed)
            m_edit.reset();
    } else {
        store->discardSessionImports(m_edit->imports);
        m_edit.reset();
    }
}

void MediaLifecycleRandomTest::restartStep() {
    if (m_edit && m_edit->commitFailed)
        m_leftByFailedSaves.merge(m_edit->imports);
    else if (m_edit)
        store->discardSessionImports(m_edit->imports);
    m_edit.reset();
    const CueDocument before = store->document();
    restart();
    ASSERT_TRUE(store->didLoadCleanly());
    EXPECT_EQ(store->document(), before);
}

// Exports into "SavedSets" (few, as each is read at every clean-up) or
// elsewhere, and loads from either.
void MediaLifecycleRandomTest::setStep() {
    const bool inLibrary = savedSets.size() < 2 ? chance(0.5) : chance(0.2);
    const auto folder = inLibrary
                            ? library().savedSetsURL() / ("set-" + std::to_string(savedSets.size()))
                            : temp.path() / "sets" / std::to_string(below(3));
    if (!chance(0.5)) {
        if (fs::exists(folder / "cues.json"))
            sometimesFailing([&] { store->restoreBackup(folder); });
        return;
    }
    if (inLibrary && savedSets.size() >= 2)
        return;
    sometimesFailing([&] {
        try {
            store->exportBackup(folder);
            if (inLibrary)
                savedSets[folder] = store->document().referencedMediaFilenames();
        } catch (const std::exception&) {
        }
    });
}

void MediaLifecycleRandomTest::step() {
    // The sheet is modal; only quitting the application gets past it.
    if (m_edit)
        return chance(0.01) ? restartStep() : editorStep();
    switch (std::discrete_distribution<int>{40, 12, 8, 8, 8, 8, 1}(m_random)) {
        case 0:
            return editorStep();
        case 1:
            return setStep();
        case 2: {
            std::vector<fs::path> files;
            for (std::size_t i = below(4); i < 3; ++i)
                files.push_back(chance(0.1) ? temp.path() / "gone.mp3" : pick());
            return sometimesFailing([&] { store->addLoopTracks(files); });
        }
        case 3:
            return sometimesFailing([&] { store->removeLoopTracks(somePositions()); });
        case 4:
            return sometimesFailing([&] { store->moveLoopTracks(somePositions(), below(6)); });
        case 5:
            return sometimesFailing(
                [&] { store->replace(CueSlot::empty(static_cast<int>(below(12)))); });
        default:
            return restartStep();
    }
}

void MediaLifecycleRandomTest::check() {
    const auto media = mediaNames();
    std::set<std::string> allowed = store->document().referencedMediaFilenames();
    for (const auto& name : allowed)
        ASSERT_TRUE(media.contains(name)) << "the document names a missing file " << name;
    for (const auto& [set, names] : savedSets) {
        for (const auto& name : names)
            ASSERT_TRUE(media.contains(name)) << set << " names a deleted file " << name;
        allowed.insert(names.begin(), names.end());
    }
    if (m_edit)
        allowed.insert(m_edit->imports.begin(), m_edit->imports.end());
    allowed.insert(m_leftByFailedSaves.begin(), m_leftByFailedSaves.end());
    for (const auto& name : media)
        ASSERT_TRUE(allowed.contains(name)) << "nothing uses " << name;
}

TEST_F(MediaLifecycleRandomTest, NoReferencedFileIsLostAndNoUnusedOneKept) {
    SCOPED_TRACE("rerun with TAVREL_STRESS_SEED=" + std::to_string(seed));
    for (std::uint64_t i = 0; i < steps && !HasFailure(); ++i) {
        SCOPED_TRACE("step " + std::to_string(i));
        step();
        check();
    }
    std::set<std::string> setNames;
    for (const auto& [set, names] : savedSets)
        setNames.insert(names.begin(), names.end());
    EXPECT_EQ(library().savedSetReferencedMediaFilenames(LocalFileSystem::shared()), setNames);
}

}  // namespace
}  // namespace tavrel
