#include "ui/loop_track_row.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/elided_label.h"
#include "ui/symbol_icon.h"
#include "ui/tavrel_theme.h"

namespace tavrel {

namespace {

constexpr int symbolSize = 18;

// A thin chevron, pointing up or down; the symbol set has none.
QIcon chevronIcon(bool up, qreal devicePixelRatio) {
    QIcon icon;
    for (const auto& [mode, colour] :
         {std::pair{QIcon::Normal, palette::label()},
          std::pair{QIcon::Disabled, palette::withOpacity(palette::secondary(), 0.45)}}) {
        const int pixels = static_cast<int>(14 * devicePixelRatio);
        QPixmap pixmap(pixels, pixels);
        pixmap.setDevicePixelRatio(devicePixelRatio);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(colour, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const double top = up ? 9 : 5;
        const double bottom = up ? 5 : 9;
        painter.drawPolyline(QPolygonF({{3, top}, {7, bottom}, {11, top}}));
        painter.end();
        icon.addPixmap(pixmap, mode);
    }
    return icon;
}

QToolButton* moveButton(bool up, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIcon(chevronIcon(up, parent->devicePixelRatioF()));
    button->setIconSize(QSize(14, 14));
    button->setFixedSize(26, 26);
    button->setCursor(Qt::PointingHandCursor);
    button->setToolTip(up ? QStringLiteral("위로 이동") : QStringLiteral("아래로 이동"));
    button->setAccessibleName(button->toolTip());
    return button;
}

QWidget* missingFileLabel(QWidget* parent) {
    auto* label = new QWidget(parent);
    auto* layout = new QHBoxLayout(label);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto* icon = new QLabel(label);
    icon->setPixmap(
        symbolPixmap(Symbol::warning, palette::orange(), 12, parent->devicePixelRatioF()));
    auto* text = new QLabel(QStringLiteral("파일 없음"), label);
    text->setFont(fonts::caption());
    // The list's style sheet would win over a palette colour.
    text->setStyleSheet(QStringLiteral("color: %1;").arg(palette::orange().name()));
    layout->addWidget(icon);
    layout->addWidget(text);
    label->setToolTip(QStringLiteral("복사된 음원 파일이 없습니다"));
    return label;
}

ElidedLabel* textLabel(const QString& text, const QFont& font, const QColor& colour,
                       QWidget* parent) {
    auto* label = new ElidedLabel(parent);
    label->setFont(font);
    label->setColor(colour);
    label->setText(text);
    return label;
}

}  // namespace

LoopTrackRow::LoopTrackRow(const LoopTrack& track, Actions actions, QWidget* parent)
    : QWidget(parent), m_actions(std::move(actions)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 4, 8, 4);
    layout->setSpacing(12);

    m_check = new QCheckBox(this);
    m_check->setFocusPolicy(Qt::NoFocus);
    m_check->setAccessibleName(QString::fromStdString(track.title));
    m_check->setCursor(Qt::PointingHandCursor);
    connect(m_check, &QCheckBox::toggled, this, [this](bool checked) {
        if (m_actions.checkToggled)
            m_actions.checkToggled(checked);
    });
    layout->addWidget(m_check);

    m_symbol = new QLabel(this);
    m_symbol->setFixedSize(symbolSize, symbolSize);
    layout->addWidget(m_symbol);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->setContentsMargins(0, 0, 0, 0);
    texts->addWidget(
        textLabel(QString::fromStdString(track.title), fonts::headline(), palette::label(), this));
    texts->addWidget(textLabel(QString::fromStdString(track.audioFilename), fonts::caption(),
                               palette::secondary(), this));
    layout->addLayout(texts, 1);

    m_up = moveButton(true, this);
    m_down = moveButton(false, this);
    connect(m_up, &QToolButton::clicked, this, [this] {
        if (m_actions.moveUp)
            m_actions.moveUp();
    });
    connect(m_down, &QToolButton::clicked, this, [this] {
        if (m_actions.moveDown)
            m_actions.moveDown();
    });
    layout->addWidget(m_up);
    layout->addWidget(m_down);

    m_missing = missingFileLabel(this);
    layout->addWidget(m_missing);

    setState({});
}

void LoopTrackRow::setState(const State& state) {
    {
        const QSignalBlocker blocker(m_check);
        m_check->setChecked(state.checked);
    }
    if (m_symbol->pixmap().isNull() || state.isCurrent != m_showsCurrent) {
        m_showsCurrent = state.isCurrent;
        m_symbol->setPixmap(symbolPixmap(state.isCurrent ? Symbol::waveform : Symbol::musicNote,
                                         state.isCurrent ? palette::green() : palette::secondary(),
                                         symbolSize, devicePixelRatioF()));
    }
    m_state = state;
    applyEnabled();
    m_missing->setVisible(!state.canPlay);
}

void LoopTrackRow::setEditable(bool editable) {
    m_editable = editable;
    applyEnabled();
}

void LoopTrackRow::applyEnabled() {
    m_check->setEnabled(m_editable);
    m_up->setEnabled(m_editable && m_state.position > 0);
    m_down->setEnabled(m_editable && m_state.position + 1 < m_state.count);
}

}  // namespace tavrel
