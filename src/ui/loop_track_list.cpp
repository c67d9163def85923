#include "ui/loop_track_list.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>

#include "ui/loop_media_types.h"
#include "ui/symbol_icon.h"
#include "ui/tavrel_theme.h"

namespace tavrel {

namespace {

const char* const listStyle = R"(
QListWidget {
    background: @fill;
    border: 1px solid @stroke;
    border-radius: 14px;
    padding: 6px;
    outline: none;
}
QListWidget[dropTarget="true"], QWidget#loopEmptyState[dropTarget="true"] {
    border: 2px solid @accentStrong;
}
QListWidget::item {
    border-radius: 8px;
    margin: 1px 0px;
}
QListWidget::item:selected {
    background: @accentSoft;
}
QListWidget::item:hover:!selected {
    background: @fill;
}
QWidget#loopEmptyState {
    border: 1px dashed @strokeStrong;
    border-radius: 14px;
}
)";

// A note beside three lines: the symbol for an empty track list.
QPixmap musicNoteListPixmap(int logicalSize, qreal devicePixelRatio) {
    const int pixels = static_cast<int>(logicalSize * devicePixelRatio);
    QPixmap pixmap(pixels, pixels);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(logicalSize / 24.0, logicalSize / 24.0);
    const QColor colour = palette::secondary();
    painter.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(3, 5), QPointF(13, 5));
    painter.drawLine(QPointF(3, 10), QPointF(13, 10));
    painter.drawLine(QPointF(3, 15), QPointF(9, 15));
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QPointF(15.5, 18.5), 3.2, 2.7);
    painter.drawRect(QRectF(17.2, 6, 1.8, 12.5));
    painter.drawPolygon(QPolygonF({{17.2, 6}, {22, 4.5}, {22, 8.5}, {17.2, 10}}));
    return pixmap;
}

void setDropHighlight(QWidget* widget, bool highlighted) {
    if (widget->property("dropTarget").toBool() == highlighted)
        return;
    widget->setProperty("dropTarget", highlighted);
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
    widget->update();
}

}  // namespace

LoopTrackList::LoopTrackList(Actions actions, QWidget* parent)
    : QWidget(parent), m_actions(std::move(actions)) {
    setAcceptDrops(true);
    setStyleSheet(palette::themed(QString::fromUtf8(listStyle)));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_stack = new QStackedWidget(this);
    layout->addWidget(m_stack);

    m_emptyState = makeEmptyState();
    m_stack->addWidget(m_emptyState);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("loopTrackList"));
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Rows follow the list's width; laid out once, they would keep the width
    // they were built at and cut off the move buttons in a narrower window.
    m_list->setResizeMode(QListView::Adjust);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setAcceptDrops(false);
    connect(m_list, &QListWidget::customContextMenuRequested, this,
            &LoopTrackList::showContextMenu);
    m_stack->addWidget(m_list);

    // The list never takes focus (Space belongs to pause/resume), so the
    // delete keys are window shortcuts, live only while the list is visible.
    auto* deleteAction = new QAction(QStringLiteral("삭제"), m_list);
    deleteAction->setShortcuts({QKeySequence(Qt::Key_Delete), QKeySequence(Qt::Key_Backspace)});
    deleteAction->setShortcutContext(Qt::WindowShortcut);
    connect(deleteAction, &QAction::triggered, this, &LoopTrackList::deleteSelectedRows);
    m_list->addAction(deleteAction);

    m_stack->setCurrentWidget(m_emptyState);
}

QWidget* LoopTrackList::makeEmptyState() {
    auto* empty = new QWidget(this);
    empty->setObjectName(QStringLiteral("loopEmptyState"));
    empty->setAttribute(Qt::WA_StyledBackground);
    auto* layout = new QVBoxLayout(empty);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(10);
    layout->addStretch(1);

    auto* symbol = new QLabel(empty);
    symbol->setPixmap(musicNoteListPixmap(44, devicePixelRatioF()));
    symbol->setAlignment(Qt::AlignCenter);
    layout->addWidget(symbol);

    auto* title = new QLabel(QStringLiteral("등록된 반복 재생 곡이 없습니다"), empty);
    title->setObjectName(QStringLiteral("loopEmptyTitle"));
    QFont titleFont = fonts::title3();
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    auto* description = new QLabel(
        QStringLiteral("MP3 추가 버튼으로 여러 곡을 등록한 뒤, 반복할 곡을 체크하세요."), empty);
    description->setFont(fonts::body());
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignCenter);
    QPalette colours = description->palette();
    colours.setColor(QPalette::WindowText, palette::secondary());
    description->setPalette(colours);
    layout->addWidget(description);

    layout->addStretch(1);
    return empty;
}

void LoopTrackList::showTracks(const std::vector<LoopTrack>& tracks, const std::set<Uuid>& checked,
                               const Marks& marks) {
    if (tracks != m_tracks)
        rebuildRows(tracks);
    m_stack->setCurrentWidget(m_tracks.empty() ? m_emptyState : static_cast<QWidget*>(m_list));
    for (std::size_t position = 0; position < m_rows.size(); ++position) {
        const LoopTrack& track = m_tracks[position];
        m_rows[position]->setState({
            .checked = checked.contains(track.id),
            .isCurrent = marks.isCurrent && marks.isCurrent(track),
            .canPlay = !marks.canPlay || marks.canPlay(track),
            .position = position,
            .count = m_rows.size(),
        });
    }
}

void LoopTrackList::rebuildRows(const std::vector<LoopTrack>& tracks) {
    // Runs inside a row button's click when a move is saved; the view releases
    // old row widgets with deleteLater, so the clicked button outlives its signal.
    m_list->clear();
    m_rows.clear();
    m_tracks = tracks;
    for (std::size_t position = 0; position < m_tracks.size(); ++position) {
        const Uuid id = m_tracks[position].id;
        LoopTrackRow::Actions rowActions{
            .checkToggled =
                [this, id](bool isChecked) {
                    if (m_actions.checkToggled)
                        m_actions.checkToggled(id, isChecked);
                },
            .moveUp =
                [this, position] {
                    if (m_actions.move && position > 0)
                        m_actions.move(position, position - 1);
                },
            // Past the lower neighbour: the destination counts positions before the move.
            .moveDown =
                [this, position] {
                    if (m_actions.move)
                        m_actions.move(position, position + 2);
                },
        };
        auto* row = new LoopTrackRow(m_tracks[position], std::move(rowActions));
        auto* item = new QListWidgetItem(m_list);
        // Item views hide their row widgets from screen readers: the row speaks by its title.
        item->setData(Qt::AccessibleTextRole, QString::fromStdString(m_tracks[position].title));
        item->setSizeHint(QSize(0, row->sizeHint().height()));
        m_list->setItemWidget(item, row);
        row->setEditable(m_editable);
        m_rows.push_back(row);
    }
}

void LoopTrackList::setEditable(bool editable) {
    m_editable = editable;
    // Not a disabled list: that would grey the current track's green mark. A
    // row selected before the run would suggest another track: it goes.
    if (!editable)
        m_list->clearSelection();
    m_list->setSelectionMode(editable ? QAbstractItemView::ExtendedSelection
                                      : QAbstractItemView::NoSelection);
    for (LoopTrackRow* row : m_rows)
        row->setEditable(editable);
}

bool LoopTrackList::showsEmptyState() const {
    return m_stack->currentWidget() == m_emptyState;
}

LoopTrackRow* LoopTrackList::row(std::size_t position) const {
    return position < m_rows.size() ? m_rows[position] : nullptr;
}

void LoopTrackList::selectRows(const std::set<std::size_t>& positions) {
    m_list->clearSelection();
    if (!m_editable)
        return;
    for (const std::size_t position : positions) {
        if (QListWidgetItem* item = m_list->item(static_cast<int>(position)))
            item->setSelected(true);
    }
}

std::set<std::size_t> LoopTrackList::selectedPositions() const {
    std::set<std::size_t> positions;
    for (const QListWidgetItem* item : m_list->selectedItems())
        positions.insert(static_cast<std::size_t>(m_list->row(item)));
    return positions;
}

void LoopTrackList::deleteSelectedRows() {
    const std::set<std::size_t> positions = selectedPositions();
    if (!m_editable || positions.empty() || !m_actions.deleteRows)
        return;
    m_actions.deleteRows(positions);
}

void LoopTrackList::showContextMenu(const QPoint& position) {
    if (!m_editable)
        return;
    QListWidgetItem* item = m_list->itemAt(position);
    if (!item)
        return;
    if (!item->isSelected())
        selectRows({static_cast<std::size_t>(m_list->row(item))});
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const std::size_t count = selectedPositions().size();
    const QString title =
        count > 1 ? QStringLiteral("%1곡 삭제").arg(count) : QStringLiteral("삭제");
    menu->addAction(title, this, &LoopTrackList::deleteSelectedRows);
    menu->popup(m_list->viewport()->mapToGlobal(position));
}

std::vector<std::filesystem::path> LoopTrackList::droppableFiles(const QMimeData* data) const {
    std::vector<std::filesystem::path> audio;
    if (!m_editable || !data)
        return audio;
    for (const auto& file : localFiles(*data)) {
        if (isAudioFile(file))
            audio.push_back(file);
    }
    return audio;
}

void LoopTrackList::dragEnterEvent(QDragEnterEvent* event) {
    if (droppableFiles(event->mimeData()).empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    setDropHighlight(m_stack->currentWidget(), true);
}

void LoopTrackList::dragMoveEvent(QDragMoveEvent* event) {
    if (droppableFiles(event->mimeData()).empty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void LoopTrackList::dragLeaveEvent(QDragLeaveEvent* event) {
    setDropHighlight(m_list, false);
    setDropHighlight(m_emptyState, false);
    event->accept();
}

void LoopTrackList::dropEvent(QDropEvent* event) {
    setDropHighlight(m_list, false);
    setDropHighlight(m_emptyState, false);
    const auto files = droppableFiles(event->mimeData());
    if (files.empty() || !m_actions.addFiles) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    m_actions.addFiles(files);
}

}  // namespace tavrel
