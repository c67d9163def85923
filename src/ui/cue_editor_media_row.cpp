#include "ui/cue_editor_media_row.h"

#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>

#include "ui/elided_label.h"
#include "ui/loop_media_types.h"
#include "ui/loop_panel_style.h"
#include "ui/tavrel_theme.h"

namespace tavrel {

CueEditorMediaRow::CueEditorMediaRow(Accepts accepts, std::function<void()> choose, Import import,
                                     QWidget* parent)
    : QWidget(parent), m_accepts(std::move(accepts)), m_import(std::move(import)) {
    setAcceptDrops(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 3, 3, 3);
    layout->setSpacing(10);

    m_name = new ElidedLabel(this);
    m_name->setFont(fonts::body());
    layout->addWidget(m_name, 1);

    m_detail = new QLabel(this);
    m_detail->setObjectName(QStringLiteral("mediaDetail"));
    m_detail->setFont(fonts::caption());
    m_detail->setTextFormat(Qt::PlainText);
    setForeground(m_detail, palette::secondary());
    m_detail->hide();
    layout->addWidget(m_detail);

    m_button = new QPushButton(QStringLiteral("가져오기…"), this);
    m_button->setAutoDefault(false);
    styleBorderedButton(m_button, palette::label());
    connect(m_button, &QPushButton::clicked, this, [choose = std::move(choose)] { choose(); });
    layout->addWidget(m_button);
    setFilename(std::nullopt);
}

void CueEditorMediaRow::setFilename(const std::optional<std::string>& filename) {
    if (filename && !filename->empty()) {
        m_name->setText(QString::fromStdString(*filename));
        m_name->setColor(palette::label());
    } else {
        m_name->setText(QStringLiteral("등록 안 됨"));
        m_name->setColor(palette::secondary());
    }
    m_name->setToolTip(filename ? QString::fromStdString(*filename) : QString());
}

QString CueEditorMediaRow::shownText() const {
    return m_name->text();
}

void CueEditorMediaRow::setDetail(const QString& detail) {
    m_detail->setText(detail);
    m_detail->setVisible(!detail.isEmpty());
}

QString CueEditorMediaRow::detailText() const {
    return m_detail->text();
}

std::optional<std::filesystem::path> CueEditorMediaRow::droppedFile(const QMimeData* data) const {
    if (!data)
        return std::nullopt;
    for (const auto& file : localFiles(*data)) {
        if (m_accepts(file))
            return file;
    }
    return std::nullopt;
}

void CueEditorMediaRow::setHighlighted(bool highlighted) {
    if (highlighted == m_highlighted)
        return;
    m_highlighted = highlighted;
    update();
}

void CueEditorMediaRow::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedFile(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    setHighlighted(true);
}

void CueEditorMediaRow::dragMoveEvent(QDragMoveEvent* event) {
    if (droppedFile(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CueEditorMediaRow::dragLeaveEvent(QDragLeaveEvent* event) {
    setHighlighted(false);
    event->accept();
}

void CueEditorMediaRow::dropEvent(QDropEvent* event) {
    setHighlighted(false);
    const auto file = droppedFile(event->mimeData());
    if (!file) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    m_import(*file);
}

void CueEditorMediaRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setBrush(m_highlighted ? palette::fillHover() : palette::fill());
    painter.setPen(m_highlighted ? QPen(palette::accent(), 1.5) : QPen(palette::stroke(), 1));
    painter.drawRoundedRect(frame, 7, 7);
}

}  // namespace tavrel
