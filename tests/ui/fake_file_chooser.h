#pragma once

#include <deque>
#include <utility>

#include "ui/file_chooser.h"

namespace tavrel::test {

// Remembers each panel; the test answers it (or not) like the user would.
class FakeFileChooser final : public FileChooser {
public:
    struct OpenRequest {
        OpenPanelOptions options;
        OpenCompletion completion;
    };

    void chooseToOpen(QWidget*, const OpenPanelOptions& options,
                      OpenCompletion completion) override {
        openRequests.push_back({options, std::move(completion)});
    }
    void chooseToSave(QWidget*, const SavePanelOptions&, SaveCompletion completion) override {
        saveRequests.push_back(std::move(completion));
    }

    // Closes the oldest open panel with these items (none: cancelled).
    void answerOpen(std::vector<std::filesystem::path> items) {
        OpenRequest request = std::move(openRequests.front());
        openRequests.pop_front();
        request.completion(std::move(items));
    }
    void answerSave(std::optional<std::filesystem::path> item) {
        SaveCompletion completion = std::move(saveRequests.front());
        saveRequests.pop_front();
        completion(std::move(item));
    }

    std::deque<OpenRequest> openRequests;
    std::deque<SaveCompletion> saveRequests;
};

}  // namespace tavrel::test
