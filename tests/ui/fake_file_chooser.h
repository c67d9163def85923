#pragma once

#include <deque>
#include <utility>

#include "ui/file_chooser.h"

namespace tavrel::test {

// Remembers each panel; the test answers it (or not) like the user would.
class FakeFileChooser final : public FileChooser {
public:
    struct OpenRequest {
        QWidget* parent = nullptr;
        OpenPanelOptions options;
        OpenCompletion completion;
    };
    struct SaveRequest {
        QWidget* parent = nullptr;
        SavePanelOptions options;
        SaveCompletion completion;
    };

    void chooseToOpen(QWidget* parent, const OpenPanelOptions& options,
                      OpenCompletion completion) override {
        openRequests.push_back({parent, options, std::move(completion)});
    }
    void chooseToSave(QWidget* parent, const SavePanelOptions& options,
                      SaveCompletion completion) override {
        saveRequests.push_back({parent, options, std::move(completion)});
    }

    // Closes the oldest open panel with these items (none: cancelled).
    void answerOpen(std::vector<std::filesystem::path> items) {
        OpenRequest request = std::move(openRequests.front());
        openRequests.pop_front();
        request.completion(std::move(items));
    }
    void answerSave(std::optional<std::filesystem::path> item) {
        SaveRequest request = std::move(saveRequests.front());
        saveRequests.pop_front();
        request.completion(std::move(item));
    }

    std::deque<OpenRequest> openRequests;
    std::deque<SaveRequest> saveRequests;
};

}  // namespace tavrel::test
