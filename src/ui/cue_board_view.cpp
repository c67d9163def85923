#include "ui/cue_board_view.h"

#include <QGridLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>

#include "store/cue_store.h"
#include "ui/cue_board_header.h"
#include "ui/cue_card.h"
#include "ui/cue_controls_bar.h"
#include "ui/cue_set_flows.h"
#include "ui/error_alert.h"
#include "ui/tavrel_theme.h"

namespace tavrel {

CueBoardView::CueBoardView(std::shared_ptr<CueStore> store, const UiServices& services,
                           QWidget* parent)
    : TavrelBackdrop(parent),
      m_store(std::move(store)),
      m_presentEditor(checkedServices(services).presentEditor),
      m_setFlows(new CueSetFlows(m_store, *services.fileChooser, this, services.now)),
      m_header(new CueBoardHeader(
          m_store, *m_setFlows,
          [this, settings = services.settings] {
              SettingsWindow::present(m_store, settings, window());
          },
          services.outputStatus, this)),
      m_editBanner(new QLabel(QStringLiteral("편집 모드 — 큐 키가 꺼져 있습니다"), this)),
      m_controls(new CueControlsBar(m_store, this)),
      m_errorAlert(new ErrorAlert(m_store, this)) {
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(spacing);
    grid->setVerticalSpacing(spacing);
    for (std::size_t index = 0; index < m_cards.size(); ++index) {
        auto* card = new CueCard(*services.artwork, this);
        card->setAction([this, index] { cardClicked(index); });
        m_cards[index] = card;
        grid->addWidget(card, int(index) / columns, int(index) % columns);
    }
    for (int column = 0; column < columns; ++column)
        grid->setColumnStretch(column, 1);
    for (int row = 0; row < int(m_cards.size()) / columns; ++row)
        grid->setRowStretch(row, 1);

    m_editBanner->setObjectName(QStringLiteral("editModeBanner"));
    m_editBanner->setAlignment(Qt::AlignCenter);
    m_editBanner->setFont(fonts::headline());
    m_editBanner->setStyleSheet(
        palette::themed(QStringLiteral("QLabel { color: @orange; background: @orangeSoft;"
                                       " border: 1px solid @orangeStroke; border-radius: 8px;"
                                       " padding: 6px; }")));
    m_editBanner->setAccessibleName(m_editBanner->text());
    m_editBanner->hide();

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(20, 20, 20, 20);
    stack->setSpacing(16);
    stack->addWidget(m_header);
    stack->addWidget(m_editBanner);
    // The cards take all the height the window gives.
    stack->addLayout(grid, 1);
    stack->addWidget(m_controls);

    m_storeSubscription = m_store->subscribe([this] { refreshCards(); });
    m_playbackSubscription = m_store->playback().subscribe([this] { refreshCards(); });
    // Only the sounding card repaints ten times a second.
    m_progressSubscription = m_store->playback().subscribeProgress([this] { refreshProgress(); });
    refreshCards();
}

CueBoardView::~CueBoardView() = default;

void CueBoardView::refreshCards() {
    const CueDocument& document = m_store->document();
    const bool editing = m_store->isEditingMode();
    const PlaybackState state = m_store->playback().state();
    m_editBanner->setVisible(editing);
    for (std::size_t index = 0; index < m_cards.size() && index < document.slots.size(); ++index) {
        const CueSlot& slot = document.slots[index];
        CueCard::Model model;
        model.slot = slot;
        model.editing = editing;
        model.missingAudio = m_store->isAudioMissing(slot);
        model.playbackState = state;
        model.imageURL = m_store->imageURL(slot);
        CueCard& card = *m_cards[index];
        const CardShadow before = card.shadow();
        card.setModel(model);
        card.setEnabled(editing || m_store->canPlay(slot));
        if (card.shadow() != before)
            update(before.area(card.geometry()).united(card.shadow().area(card.geometry())));
    }
    refreshProgress();
}

void CueBoardView::refreshProgress() {
    const auto id = m_store->playback().state().activeSlotID();
    if (id && *id >= 0 && *id < std::int64_t(m_cards.size()))
        m_cards[std::size_t(*id)]->setProgress(m_store->playback().progress());
}

void CueBoardView::paintEvent(QPaintEvent* event) {
    TavrelBackdrop::paintEvent(event);
    QPainter painter(this);
    const CardShadow barShadow{palette::shadow(), 20, 4};
    const QRect barArea = barShadow.area(m_controls->geometry());
    if (event->region().intersects(barArea)) {
        painter.drawPixmap(barArea.topLeft(),
                           barShadow.pixmap(m_controls->size(), 16, devicePixelRatioF()));
    }
    for (const CueCard* card : m_cards) {
        const CardShadow shadow = card->shadow();
        const QRect area = shadow.area(card->geometry());
        if (!card->isVisible() || !event->region().intersects(area))
            continue;
        painter.drawPixmap(area.topLeft(),
                           shadow.pixmap(card->size(), CueCard::cornerRadius, devicePixelRatioF()));
    }
}

void CueBoardView::cardClicked(std::size_t index) {
    const CueDocument& document = m_store->document();
    if (index >= document.slots.size())
        return;
    const CueSlot slot = document.slots[index];
    if (!m_store->isEditingMode()) {
        m_store->play(slot);
        return;
    }
    if (m_editingSlot)
        return;
    m_editingSlot = slot;
    m_presentEditor(this, slot, [self = QPointer<CueBoardView>(this)] {
        if (self)
            self->m_editingSlot.reset();
    });
}

}  // namespace tavrel
