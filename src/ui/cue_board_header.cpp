#include "ui/cue_board_header.h"

#include <QCursor>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

#include "playback/output_status.h"
#include "store/cue_store.h"
#include "ui/cue_set_flows.h"
#include "ui/symbol_icon.h"
#include "ui/tavrel_theme.h"
#include "ui/toggle_switch.h"

namespace tavrel {

namespace {

QLabel* titleSymbol(QWidget* parent) {
    constexpr int frame = 46;
    auto* label = new QLabel(parent);
    label->setPixmap(symbolBadge(Symbol::grid, palette::blue(), frame, 26, 12, 0.12, 2.0));
    label->setFixedSize(frame, frame);
    return label;
}

void styleHeaderButton(QToolButton* button, const QString& title, Symbol symbol) {
    button->setText(title);
    button->setAccessibleName(title);
    button->setIcon(symbolIcon(symbol, palette::accent()));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(palette::themed(
        QStringLiteral("QToolButton { color: @accent; border: none; padding: 4px 8px; }"
                       "QToolButton:hover { background: @fill; border-radius: 6px; }"
                       "QToolButton::menu-indicator { image: none; }")));
}

}  // namespace

CueBoardHeader::CueBoardHeader(std::shared_ptr<CueStore> store, CueSetFlows& setFlows,
                               std::function<void()> openSettings,
                               std::shared_ptr<OutputStatus> outputStatus, QWidget* parent)
    : QWidget(parent),
      m_store(std::move(store)),
      m_setButton(new QToolButton(this)),
      m_setMenu(new QMenu(this)),
      m_settingsButton(new QToolButton(this)),
      m_editSwitch(new ToggleSwitch(QStringLiteral("편집 모드"), this)),
      m_outputMissing(new QLabel(QStringLiteral("출력 없음"), this)),
      m_outputStatus(std::move(outputStatus)) {
    auto* title = new QLabel(QStringLiteral("Tavrel"), this);
    title->setFont(fonts::largeTitle());
    auto* subtitle = new QLabel(QStringLiteral("12개의 즉시 재생 큐"), this);
    subtitle->setStyleSheet(palette::themed(QStringLiteral("color: @secondary;")));
    auto* text = new QVBoxLayout;
    text->setSpacing(3);
    text->addWidget(title);
    text->addWidget(subtitle);
    auto* block = new QHBoxLayout;
    block->setSpacing(12);
    block->addWidget(titleSymbol(this));
    block->addLayout(text);

    setUpSetMenu(setFlows);
    styleHeaderButton(m_settingsButton, QStringLiteral("설정"), Symbol::gear);
    connect(m_settingsButton, &QToolButton::clicked, this, std::move(openSettings));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addLayout(block);
    row->addStretch(1);
    row->addWidget(m_outputMissing, 0, Qt::AlignVCenter);
    row->addSpacing(12);
    row->addWidget(m_settingsButton);
    row->addWidget(m_setButton);
    row->addSpacing(12);
    row->addWidget(m_editSwitch);

    connect(m_editSwitch, &QAbstractButton::toggled, this,
            [this](bool on) { m_store->setEditingMode(on); });
    const auto follow = [this] {
        const QSignalBlocker blocker(m_editSwitch);
        m_editSwitch->setChecked(m_store->isEditingMode());
    };
    m_subscription = m_store->subscribe(follow);
    follow();
    setUpOutputStatus();
}

void CueBoardHeader::setUpSetMenu(CueSetFlows& setFlows) {
    m_setMenu->addAction(QStringLiteral("현재 세트 저장…"), &setFlows,
                         &CueSetFlows::saveCurrentSet);
    m_setMenu->addAction(QStringLiteral("저장한 세트에 덮어쓰기…"), &setFlows,
                         &CueSetFlows::chooseSetToReplace);
    m_setMenu->addAction(QStringLiteral("저장한 세트 불러오기…"), &setFlows,
                         &CueSetFlows::chooseSetToRestore);
    styleHeaderButton(m_setButton, QStringLiteral("세트"), Symbol::externalDriveAdd);
    m_setButton->setPopupMode(QToolButton::InstantPopup);
    m_setButton->setMenu(m_setMenu);
    // The open menu holds the mouse, so the button never hears it leave and
    // would keep its pressed, hovered look after the menu closes.
    connect(m_setMenu, &QMenu::aboutToHide, m_setButton, [button = m_setButton] {
        button->setDown(false);
        button->setAttribute(Qt::WA_UnderMouse,
                             button->rect().contains(button->mapFromGlobal(QCursor::pos())));
        button->update();
    });
}

void CueBoardHeader::setUpOutputStatus() {
    m_outputMissing->setAccessibleName(QStringLiteral("출력 없음"));
    m_outputMissing->setStyleSheet(
        QStringLiteral("color: white; background: %1; border-radius: 6px; padding: 3px 8px;")
            .arg(palette::red().name()));
    m_outputMissing->setVisible(false);
    if (m_outputStatus) {
        const auto showStatus = [this] {
            m_outputMissing->setVisible(!m_outputStatus->available());
        };
        m_outputSubscription = m_outputStatus->subscribe(showStatus);
        showStatus();
    }
}

}  // namespace tavrel
