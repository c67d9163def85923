#include "ui/qt_file_chooser.h"

#include <QDir>
#include <QFileDialog>

namespace tavrel {

namespace {

QFileDialog* makeDialog(QWidget* parent, const QString& title, const QString& prompt,
                        const QStringList& nameFilters) {
    auto* dialog = new QFileDialog(parent, title);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    if (!prompt.isEmpty())
        dialog->setLabelText(QFileDialog::Accept, prompt);
    if (!nameFilters.isEmpty())
        dialog->setNameFilters(nameFilters);
    dialog->setDirectory(QDir::home());
    return dialog;
}

std::filesystem::path toPath(const QString& file) {
    return std::filesystem::path(file.toStdU16String());
}

}  // namespace

void QtFileChooser::chooseToOpen(QWidget* parent, const OpenPanelOptions& options,
                                 OpenCompletion completion) {
    QFileDialog* dialog = makeDialog(parent, options.title, options.prompt, options.nameFilters);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    if (options.canChooseDirectories && !options.canChooseFiles) {
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog->setFileMode(options.allowsMultipleSelection ? QFileDialog::ExistingFiles
                                                            : QFileDialog::ExistingFile);
    }
    QObject::connect(dialog, &QFileDialog::finished, dialog,
                     [dialog, completion = std::move(completion)](int result) {
                         std::vector<std::filesystem::path> chosen;
                         if (result == QDialog::Accepted) {
                             for (const QString& file : dialog->selectedFiles())
                                 chosen.push_back(toPath(file));
                         }
                         completion(std::move(chosen));
                     });
    dialog->open();
}

void QtFileChooser::chooseToSave(QWidget* parent, const SavePanelOptions& options,
                                 SaveCompletion completion) {
    QFileDialog* dialog = makeDialog(parent, options.title, options.prompt, options.nameFilters);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->selectFile(options.defaultName);
    QObject::connect(dialog, &QFileDialog::finished, dialog,
                     [dialog, completion = std::move(completion)](int result) {
                         std::optional<std::filesystem::path> chosen;
                         const QStringList files = dialog->selectedFiles();
                         if (result == QDialog::Accepted && !files.isEmpty())
                             chosen = toPath(files.first());
                         completion(std::move(chosen));
                     });
    dialog->open();
}

}  // namespace tavrel
