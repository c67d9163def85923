#include "ui/sidebar_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QVBoxLayout>

#include "store/cue_store.h"
#include "ui/playback_time_row.h"
#include "ui/symbol_icon.h"
#include "ui/tavrel_theme.h"

namespace tavrel {

namespace {

constexpr int sectionRole = Qt::UserRole + 1;

QWidget* brandRow(QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(18, 20, 18, 20);
    layout->setSpacing(10);
    auto* symbol = new QLabel(row);
    symbol->setPixmap(symbolPixmap(Symbol::waveformCircle, palette::accent(), 30, 2));
    auto* name = new QLabel(QStringLiteral("Tavrel"), row);
    QFont nameFont = fonts::title3();
    nameFont.setBold(true);
    name->setFont(nameFont);
    auto* tagline = new QLabel(QStringLiteral("LOCAL SOUNDBOARD"), row);
    QFont taglineFont = fonts::caption2();
    taglineFont.setWeight(QFont::DemiBold);
    tagline->setFont(taglineFont);
    tagline->setStyleSheet(palette::themed(QStringLiteral("color: @secondary;")));
    auto* text = new QVBoxLayout;
    text->setSpacing(1);
    text->addWidget(name);
    text->addWidget(tagline);
    layout->addWidget(symbol);
    layout->addLayout(text, 1);
    return row;
}

QWidget* storageNote(QWidget* parent) {
    auto* note = new QFrame(parent);
    note->setObjectName(QStringLiteral("storageNote"));
    note->setStyleSheet(palette::themed(
        QStringLiteral("#storageNote { background: @fill; border-radius: 12px; }")));
    auto* layout = new QVBoxLayout(note);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(6);
    auto* heading = new QHBoxLayout;
    heading->setSpacing(6);
    auto* drive = new QLabel(note);
    drive->setPixmap(symbolPixmap(Symbol::internalDrive, palette::secondary(), 13, 2));
    auto* title = new QLabel(QStringLiteral("로컬에 안전하게 저장"), note);
    QFont titleFont = fonts::caption();
    titleFont.setWeight(QFont::Medium);
    title->setFont(titleFont);
    title->setStyleSheet(palette::themed(QStringLiteral("color: @secondary;")));
    heading->addWidget(drive);
    heading->addWidget(title, 1);
    auto* text = new QLabel(QStringLiteral("큐와 반복 목록은 이 컴퓨터에 저장됩니다."), note);
    text->setObjectName(QStringLiteral("storageNoteText"));
    text->setFont(fonts::caption2());
    text->setWordWrap(true);
    text->setStyleSheet(palette::themed(QStringLiteral("color: @dimmed;")));
    layout->addLayout(heading);
    layout->addWidget(text);
    return note;
}

// Over the loop player's row, right-aligned; clicks go through to the list.
QLabel* rowTrailingLabel(QListWidget* list, QListWidgetItem* item) {
    auto* holder = new QWidget(list);
    holder->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(0, 0, 10, 0);
    auto* label = new QLabel(holder);
    label->setFont(fonts::monospacedCaption());
    label->setStyleSheet(palette::themed(QStringLiteral("color: @secondary;")));
    layout->addStretch(1);
    layout->addWidget(label);
    list->setItemWidget(item, holder);
    return label;
}

}  // namespace

SidebarView::SidebarView(std::shared_ptr<CueStore> store, QWidget* parent)
    : QWidget(parent), m_store(std::move(store)), m_list(new QListWidget(this)) {
    setMinimumWidth(205);
    setAttribute(Qt::WA_OpaquePaintEvent);

    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setIconSize(QSize(16, 16));
    m_list->setAccessibleName(QStringLiteral("재생"));
    m_list->setStyleSheet(palette::themed(
        QStringLiteral("QListWidget { background: transparent; outline: 0; padding: 0 10px; }"
                       "QListWidget::item { color: white; padding: 7px 8px; border-radius: 7px; }"
                       "QListWidget::item:selected { background: @accentSoft; color: white; }"
                       "QListWidget::item:hover:!selected { background: @fill; }")));
    auto* header = new QListWidgetItem(QStringLiteral("재생"), m_list);
    header->setFlags(Qt::NoItemFlags);
    QFont headerFont = fonts::caption();
    headerFont.setBold(true);
    header->setFont(headerFont);
    header->setForeground(palette::tertiary());
    for (const TavrelSection section : allTavrelSections) {
        auto* item = new QListWidgetItem(symbolIcon(sectionSymbol(section), palette::accent()),
                                         sectionTitle(section), m_list);
        item->setData(sectionRole, static_cast<int>(section));
        item->setFont(fonts::body());
        if (section == TavrelSection::loopPlayer)
            m_loopRemaining = rowTrailingLabel(m_list, item);
    }
    m_list->setCurrentRow(1);
    connect(m_list, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (!item)
            return;
        m_selected = static_cast<TavrelSection>(item->data(sectionRole).toInt());
        Q_EMIT sectionSelected(m_selected);
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(brandRow(this));
    layout->addWidget(m_list, 1);
    auto* noteHolder = new QVBoxLayout;
    noteHolder->setContentsMargins(14, 14, 14, 14);
    noteHolder->addWidget(storageNote(this));
    layout->addLayout(noteHolder);

    if (m_store) {
        m_storeSubscription = m_store->subscribe([this] { refreshLoopRemaining(); });
        refreshLoopRemaining();
    }
}

void SidebarView::refreshLoopRemaining() {
    const auto& run = m_store->loopPlayback();
    const QString text = run && run->remainingSeconds
                             ? remainingTimeText(double(*run->remainingSeconds))
                             : QString();
    if (text != m_loopRemaining->text())
        m_loopRemaining->setText(text);
}

QString SidebarView::loopRemainingText() const {
    return m_loopRemaining->text();
}

void SidebarView::selectSection(TavrelSection section) {
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        if (item->data(sectionRole).isValid() &&
            static_cast<TavrelSection>(item->data(sectionRole).toInt()) == section) {
            m_list->setCurrentItem(item);
        }
    }
}

void SidebarView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette::sidebarBackground());
}

}  // namespace tavrel
