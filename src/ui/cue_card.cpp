#include "ui/cue_card.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "model/cue_document.h"
#include "ui/cue_card_artwork.h"
#include "ui/elided_label.h"
#include "ui/playback_time_row.h"
#include "ui/symbol_icon.h"
#include "ui/tavrel_theme.h"

namespace tavrel {

namespace {

constexpr int statusSymbolSize = 12;
constexpr double disabledOpacity = 0.45;

// The missing-audio triangle: its card is disabled, and a disabled QLabel
// would grey the pixmap, but the warning must stay orange.
class WarningSymbol : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        const QPixmap symbol = pixmap();
        const QSizeF logical = symbol.deviceIndependentSize();
        QPainter painter(this);
        painter.drawPixmap(
            QPointF((width() - logical.width()) / 2, (height() - logical.height()) / 2), symbol);
    }
};

}  // namespace

CueCard::CueCard(CueArtworkWorkers& artwork, QWidget* parent)
    : QAbstractButton(parent),
      m_artwork(new CueCardArtwork(this, {}, &artwork.pool(), &artwork.cache())),
      m_keyBadge(new QLabel(this)),
      m_title(new ElidedLabel(this)),
      m_statusIcon(new QLabel(this)),
      m_statusLabel(new QLabel(this)),
      m_warning(new WarningSymbol(this)),
      m_usage(new ElidedLabel(this)),
      m_time(new PlaybackTimeRow(this)) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    m_keyBadge->setObjectName(QStringLiteral("keyBadge"));
    m_keyBadge->setFont(fonts::monospacedCaption());
    m_keyBadge->setAlignment(Qt::AlignCenter);
    m_keyBadge->setMinimumWidth(20);
    m_title->setFont(fonts::headline());
    m_statusLabel->setFont([] {
        QFont font = fonts::caption();
        font.setBold(true);
        return font;
    }());
    m_warning->setToolTip(QStringLiteral("복사된 음원 파일이 없습니다"));
    m_warning->setPixmap(symbolPixmap(Symbol::warning, palette::orange(), 14, 2.0));
    m_usage->setFont(fonts::subheadline());
    // Starting a cue must not move the other lines.
    QSizePolicy timePolicy = m_time->sizePolicy();
    timePolicy.setRetainSizeWhenHidden(true);
    m_time->setSizePolicy(timePolicy);

    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(7);
    titleRow->addWidget(m_keyBadge);
    titleRow->addWidget(m_title, 1);
    titleRow->addWidget(m_statusIcon);
    titleRow->addWidget(m_statusLabel);
    titleRow->addWidget(m_warning);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(12, 12, 12, 12);
    stack->setSpacing(8);
    stack->addWidget(m_artwork, 1);
    stack->addLayout(titleRow);
    stack->addWidget(m_usage);
    stack->addWidget(m_time);

    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_action)
            m_action();
    });
    setModel(Model{});
}

void CueCard::setModel(const Model& model) {
    // The board refreshes every card on every change; most stay as they were.
    if (m_hasModel && model == m_model)
        return;
    m_hasModel = true;
    m_model = model;
    const CueSlot& slot = model.slot;
    m_appearance = CueCardAppearance::of(model.playbackState, slot.id, model.editing);

    m_keyBadge->setText(QString::fromUtf8(slotKeyCharacter(slot.id)));
    m_title->setText(QString::fromStdString(slot.displayTitle()));
    m_usage->setText(slot.usage.empty() ? QStringLiteral("사용처 없음")
                                        : QString::fromStdString(slot.usage));
    const bool active = m_appearance.status != CueCardAppearance::Status::none;
    m_statusLabel->setText(m_appearance.statusText());
    m_statusLabel->setVisible(active);
    m_statusIcon->setVisible(active);
    if (active) {
        m_statusIcon->setPixmap(symbolPixmap(m_appearance.statusSymbol(),
                                             m_appearance.statusColor(), statusSymbolSize, 2.0));
    }
    m_warning->setVisible(model.missingAudio);
    m_time->setVisible(active);
    m_time->setTint(m_appearance.statusColor());
    m_artwork->setContent(model.imageURL, slot.audioFilename.has_value());

    applyColours();

    QString accessible = QStringLiteral("키 %1, %2, ").arg(keyText(), titleText());
    accessible += active ? statusText() : QStringLiteral("대기");
    if (model.missingAudio)
        accessible += QStringLiteral(", 음원 파일 없음");
    setAccessibleName(accessible);
    setAccessibleDescription(usageText());
    update();
}

void CueCard::applyColours() {
    const double opacity = isEnabled() ? 1.0 : disabledOpacity;
    const QColor secondary = palette::withOpacity(palette::secondary(), opacity);
    const QString badgeStyle =
        QStringLiteral(
            "QLabel { color: %1; background: %2; border-radius: 5px;"
            " padding: 3px 5px; }")
            .arg(palette::css(secondary), palette::css(palette::quaternary()));
    // Style sheets are costly to apply: only when they change.
    if (badgeStyle != m_badgeStyle) {
        m_badgeStyle = badgeStyle;
        m_keyBadge->setStyleSheet(badgeStyle);
    }
    m_title->setColor(palette::withOpacity(palette::label(), opacity));
    m_usage->setColor(secondary);
    const QString statusStyle =
        QStringLiteral("QLabel { color: %1; }").arg(palette::css(m_appearance.statusColor()));
    if (statusStyle != m_statusStyle) {
        m_statusStyle = statusStyle;
        m_statusLabel->setStyleSheet(statusStyle);
    }
}

QString CueCard::keyText() const {
    return m_keyBadge->text();
}
QString CueCard::titleText() const {
    return m_title->text();
}
QString CueCard::statusText() const {
    return m_statusLabel->isVisibleTo(this) ? m_statusLabel->text() : QString();
}
QString CueCard::usageText() const {
    return m_usage->text();
}

const QLabel* CueCard::missingAudioWarning() const {
    return m_warning->isVisibleTo(this) ? m_warning : nullptr;
}

void CueCard::setProgress(const PlaybackProgress& progress) {
    m_time->setProgress(progress);
}

const PlaybackTimeRow* CueCard::timeRow() const {
    return m_time->isVisibleTo(this) ? m_time : nullptr;
}

CardShadow CueCard::shadow() const {
    const double opacity = isEnabled() ? 1.0 : disabledOpacity;
    return {palette::withOpacity(m_appearance.shadowColor, opacity), m_appearance.shadowRadius * 2,
            3};
}

QSize CueCard::sizeHint() const {
    return {180, layout()->sizeHint().height()};
}

void CueCard::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange)
        applyColours();
    QAbstractButton::changeEvent(event);
}

void CueCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(disabledOpacity);
    const double inset = m_appearance.outlineWidth / 2.0;
    const QRectF frame = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    QColor background = m_appearance.background;
    if (isDown())
        background = background.lighter(130);
    painter.setBrush(background);
    painter.setPen(QPen(m_appearance.border, m_appearance.outlineWidth));
    painter.drawRoundedRect(frame, cornerRadius, cornerRadius);
}

}  // namespace tavrel
