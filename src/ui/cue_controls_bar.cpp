#include "ui/cue_controls_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

#include "store/cue_store.h"
#include "ui/elided_label.h"
#include "ui/master_volume_slider.h"
#include "ui/now_playing.h"
#include "ui/playback_time_row.h"
#include "ui/symbol_icon.h"
#include "ui/tavrel_theme.h"
#include "ui/transport_button.h"

namespace tavrel {

namespace {

constexpr int iconFrame = 36;
constexpr int iconSymbol = 18;

QPixmap nowPlayingIcon(Symbol symbol, const QColor& colour, qreal ratio) {
    return symbolBadge(symbol, colour, iconFrame, iconSymbol, -1, 0.13, ratio);
}

}  // namespace

CueControlsBar::CueControlsBar(std::shared_ptr<CueStore> store, QWidget* parent)
    : QWidget(parent),
      m_store(std::move(store)),
      m_icon(new QLabel(this)),
      m_line(new ElidedLabel(this)),
      m_time(new PlaybackTimeRow(this)),
      m_pauseButton(
          new TransportButton(QStringLiteral("일시정지"), Symbol::pause, palette::orange(), this)),
      m_stopButton(new TransportButton(QStringLiteral("중지"), Symbol::stop, palette::red(), this)),
      m_fadeButton(new TransportButton(QStringLiteral("페이드 아웃"), Symbol::speakerLow,
                                       palette::blue(), this)),
      m_volumeLabel(new QLabel(this)),
      m_volumeSlider(new MasterVolumeSlider(m_store, palette::blue(), 190, this)) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_icon->setFixedSize(iconFrame, iconFrame);

    auto* caption = new QLabel(QStringLiteral("NOW PLAYING"), this);
    QFont captionFont = fonts::caption();
    captionFont.setBold(true);
    caption->setFont(captionFont);
    caption->setStyleSheet(palette::themed(QStringLiteral("color: @secondary;")));
    QFont lineFont = fonts::title3();
    lineFont.setBold(true);
    m_line->setFont(lineFont);

    auto* text = new QVBoxLayout;
    text->setSpacing(3);
    text->addWidget(caption);
    text->addWidget(m_line);
    text->addWidget(m_time);
    QSizePolicy timePolicy = m_time->sizePolicy();
    timePolicy.setRetainSizeWhenHidden(true);
    m_time->setSizePolicy(timePolicy);
    auto* panel = new QHBoxLayout;
    panel->setSpacing(12);
    panel->addWidget(m_icon);
    panel->addLayout(text, 1);

    m_volumeLabel->setFont(captionFont);
    auto* volume = new QVBoxLayout;
    volume->setSpacing(4);
    volume->addWidget(m_volumeLabel);
    volume->addWidget(m_volumeSlider);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(20);
    row->addLayout(panel, 1);
    row->addWidget(m_pauseButton);
    row->addWidget(m_stopButton);
    row->addWidget(m_fadeButton);
    row->addLayout(volume);

    connect(m_pauseButton, &QAbstractButton::clicked, this, [this] { m_store->togglePause(); });
    connect(m_stopButton, &QAbstractButton::clicked, this, [this] { m_store->stopPlayback(); });
    connect(m_fadeButton, &QAbstractButton::clicked, this, [this] { m_store->fadeOut(); });

    m_storeSubscription = m_store->subscribe([this] { refresh(); });
    m_playbackSubscription = m_store->playback().subscribe([this] { refresh(); });
    m_progressSubscription = m_store->playback().subscribeProgress(
        [this] { m_time->setProgress(m_store->playback().progress()); });
    refresh();
}

void CueControlsBar::refresh() {
    const AudioPlaybackController& playback = m_store->playback();
    const NowPlaying now = NowPlaying::of(playback.state(), playback.currentSlot());
    if (now.symbol != m_symbol || m_icon->pixmap().isNull()) {
        m_symbol = now.symbol;
        m_icon->setPixmap(nowPlayingIcon(now.symbol, now.symbolColor, 2.0));
    }
    m_line->setText(now.line);
    m_line->setAccessibleName(QStringLiteral("지금 재생: ") + now.line);
    m_pauseButton->setTitle(now.pauseTitle);
    m_pauseButton->setSystemImage(now.pauseSymbol);
    m_pauseButton->setEnabled(now.transportEnabled);
    m_stopButton->setEnabled(now.transportEnabled);
    m_time->setVisible(now.transportEnabled);
    m_time->setTint(now.symbolColor);
    m_time->setProgress(playback.progress());
    m_fadeButton->setEnabled(now.transportEnabled);

    const double volume = m_store->document().masterVolume;
    m_volumeLabel->setText(masterVolumeText(volume));
    m_volumeSlider->refresh();
}

QString CueControlsBar::nowPlayingLine() const {
    return m_line->text();
}
const PlaybackTimeRow* CueControlsBar::timeRow() const {
    return m_time->isVisibleTo(this) ? m_time : nullptr;
}

QString CueControlsBar::volumeText() const {
    return m_volumeLabel->text();
}

void CueControlsBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setBrush(palette::barBackground());
    painter.setPen(QPen(palette::stroke(), 1));
    painter.drawRoundedRect(frame, 16, 16);
}

}  // namespace tavrel
