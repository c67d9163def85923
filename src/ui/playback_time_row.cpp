#include "ui/playback_time_row.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

#include "ui/tavrel_theme.h"

namespace tavrel {

namespace {

constexpr int barHeight = 3;
constexpr int gap = 8;

QString minutesAndSeconds(long long seconds) {
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

long long wholeSeconds(double seconds, double (*round)(double)) {
    return std::isfinite(seconds) && seconds > 0 ? static_cast<long long>(round(seconds)) : 0;
}

}  // namespace

QString elapsedTimeText(double seconds) {
    return minutesAndSeconds(wholeSeconds(seconds, std::floor));
}

QString remainingTimeText(double seconds) {
    return QStringLiteral("-") + minutesAndSeconds(wholeSeconds(seconds, std::ceil));
}

PlaybackTimeRow::PlaybackTimeRow(QWidget* parent) : QWidget(parent), m_tint(palette::green()) {
    setFont(fonts::monospacedCaption());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setProgress({});
}

void PlaybackTimeRow::setProgress(const PlaybackProgress& progress) {
    const QString elapsed = elapsedTimeText(progress.elapsed);
    const QString remaining =
        progress.duration > 0 ? remainingTimeText(progress.duration - progress.elapsed) : QString();
    m_fraction =
        progress.duration > 0 ? std::clamp(progress.elapsed / progress.duration, 0.0, 1.0) : 0.0;
    if (elapsed == m_elapsed && remaining == m_remaining && filledWidth() == m_paintedFill)
        return;
    m_elapsed = elapsed;
    m_remaining = remaining;
    setAccessibleName(remaining.isEmpty() ? elapsed : elapsed + QStringLiteral(" / ") + remaining);
    update();
}

void PlaybackTimeRow::setTint(const QColor& tint) {
    if (tint == m_tint)
        return;
    m_tint = tint;
    update();
}

QSize PlaybackTimeRow::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return {2 * (metrics.horizontalAdvance(QStringLiteral("-00:00")) + gap) + 40, metrics.height()};
}

QRect PlaybackTimeRow::barRect() const {
    const int label = fontMetrics().horizontalAdvance(QStringLiteral("-00:00")) + gap;
    return {label, (height() - barHeight) / 2, std::max(width() - 2 * label, 0), barHeight};
}

int PlaybackTimeRow::filledWidth() const {
    return static_cast<int>(std::lround(m_fraction * barRect().width()));
}

void PlaybackTimeRow::resizeEvent(QResizeEvent* event) {
    m_paintedFill = -1;
    QWidget::resizeEvent(event);
}

void PlaybackTimeRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect bar = barRect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette::strokeStrong());
    painter.drawRoundedRect(bar, 1.5, 1.5);
    m_paintedFill = filledWidth();
    if (m_paintedFill > 0) {
        painter.setBrush(m_tint);
        painter.drawRoundedRect(QRect(bar.topLeft(), QSize(m_paintedFill, barHeight)), 1.5, 1.5);
    }
    painter.setPen(palette::secondary());
    painter.drawText(QRect(0, 0, bar.left() - gap, height()), Qt::AlignLeft | Qt::AlignVCenter,
                     m_elapsed);
    painter.drawText(QRect(bar.right() + gap, 0, width() - bar.right() - gap, height()),
                     Qt::AlignRight | Qt::AlignVCenter, m_remaining);
}

}  // namespace tavrel
