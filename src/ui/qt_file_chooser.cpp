#include "ui/qt_file_chooser.h"

#include <QDir>
#include <QFileDialog>

namespace tavrel {

namespace {

QFileDialog* makeDialog(QWidget* parent, const QString& title, const QString& prompt,
                        const QStringList& nameFilters, const QString& folder) {
    auto* dialog = new QFileDialog(parent, title);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    if (!prompt.isEmpty())
        dialog->setLabelText(QFileDialog::Accept, prompt);
    if (!nameFilters.isEmpty())
        dialog->setNameFilters(nameFilters);
    dialog->setDirectory(folder);
    return dialog;
}

std::filesystem::path toPath(const QString& file) {
    return std::filesystem::path(file.toStdU16String());
}

}  // namespace

QString QtFileChooser::folderFor(FileKind kind) const {
    const auto found = m_lastFolders.find(kind);
    return found != m_lastFolders.end() ? found->second : QDir::homePath();
}

void QtFileChooser::remember(FileKind kind, const std::filesystem::path& chosen) {
    // A chosen set folder is remembered by where it lies, like a file.
    const std::filesystem::path folder = chosen.parent_path();
    if (kind != FileKind::other && !folder.empty())
        m_lastFolders[kind] = QString::fromStdU16String(folder.u16string());
}

void QtFileChooser::chooseToOpen(QWidget* parent, const OpenPanelOptions& options,
                                 OpenCompletion completion) {
    QFileDialog* dialog = makeDialog(parent, options.title, options.prompt, options.nameFilters,
                                     folderFor(options.kind));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    if (options.canChooseDirectories && !options.canChooseFiles) {
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog->setFileMode(options.allowsMultipleSelection ? QFileDialog::ExistingFiles
                                                            : QFileDialog::ExistingFile);
    }
    QObject::connect(
        dialog, &QFileDialog::finished, dialog,
        [this, dialog, kind = options.kind, completion = std::move(completion)](int result) {
            std::vector<std::filesystem::path> chosen;
            if (result == QDialog::Accepted) {
                for (const QString& file : dialog->selectedFiles())
                    chosen.push_back(toPath(file));
            }
            if (!chosen.empty())
                remember(kind, chosen.front());
            completion(std::move(chosen));
        });
    dialog->open();
}

void QtFileChooser::chooseToSave(QWidget* parent, const SavePanelOptions& options,
                                 SaveCompletion completion) {
    QFileDialog* dialog = makeDialog(parent, options.title, options.prompt, options.nameFilters,
                                     folderFor(options.kind));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->selectFile(options.defaultName);
    QObject::connect(
        dialog, &QFileDialog::finished, dialog,
        [this, dialog, kind = options.kind, completion = std::move(completion)](int result) {
            std::optional<std::filesystem::path> chosen;
            const QStringList files = dialog->selectedFiles();
            if (result == QDialog::Accepted && !files.isEmpty()) {
                chosen = toPath(files.first());
                remember(kind, *chosen);
            }
            completion(std::move(chosen));
        });
    dialog->open();
}

}  // namespace tavrel
