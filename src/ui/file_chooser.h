#pragma once

#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

class QWidget;

namespace tavrel {

// What a panel is for: each kind opens in the folder last used for it.
enum class FileKind { other, audio, image, set };

struct OpenPanelOptions {
    QString title;
    QString prompt;  // the accept button's caption
    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool allowsMultipleSelection = false;
    QStringList nameFilters;  // "Audio (*.mp3 *.wav)"; empty: any file
    FileKind kind = FileKind::other;
};

struct SavePanelOptions {
    QString title;
    QString prompt;
    QString defaultName;
    QStringList nameFilters;
    FileKind kind = FileKind::other;
};

// Open and save panels. Both return at once; the completion runs later on the
// main thread, exactly once, when the user is done. Never a nested event loop.
class FileChooser {
public:
    virtual ~FileChooser() = default;

    // The chosen items; empty when the user cancelled.
    using OpenCompletion = std::function<void(std::vector<std::filesystem::path>)>;
    // The chosen location; empty when the user cancelled.
    using SaveCompletion = std::function<void(std::optional<std::filesystem::path>)>;

    virtual void chooseToOpen(QWidget* parent, const OpenPanelOptions& options,
                              OpenCompletion completion) = 0;
    virtual void chooseToSave(QWidget* parent, const SavePanelOptions& options,
                              SaveCompletion completion) = 0;
};

}  // namespace tavrel
