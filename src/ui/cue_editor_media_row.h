#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <QWidget>

class QLabel;
class QMimeData;
class QPushButton;

namespace tavrel {

class ElidedLabel;

// The editor's audio or image row: the media filename of the copy (or
// "등록 안 됨"), a detail line about the file (the image's pixel size; the
// audio's duration and format have their place here too) and an import button. A file of the row's
// kind dropped on it is imported as if chosen with the button.
class CueEditorMediaRow : public QWidget {
    Q_OBJECT

public:
    using Accepts = std::function<bool(const std::filesystem::path&)>;
    using Import = std::function<void(const std::filesystem::path&)>;

    CueEditorMediaRow(Accepts accepts, std::function<void()> choose, Import import,
                      QWidget* parent = nullptr);

    void setFilename(const std::optional<std::string>& filename);
    QString shownText() const;
    // Beside the name, in the secondary colour; hidden when empty.
    void setDetail(const QString& detail);
    QString detailText() const;
    QPushButton* importButton() const { return m_button; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<std::filesystem::path> droppedFile(const QMimeData* data) const;
    void setHighlighted(bool highlighted);

    Accepts m_accepts;
    Import m_import;
    ElidedLabel* m_name = nullptr;
    QLabel* m_detail = nullptr;
    QPushButton* m_button = nullptr;
    bool m_highlighted = false;
};

}  // namespace tavrel
