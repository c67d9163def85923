#include "ui/cue_editor_waveform.h"

#include <algorithm>
#include <cmath>

#include <QMouseEvent>
#include <QPainter>

#include "ui/tavrel_theme.h"

namespace tavrel {

namespace {

constexpr int waveformHeight = 56;
constexpr qreal inset = 6.0;

}  // namespace

CueEditorWaveform::CueEditorWaveform(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("cueEditorWaveform"));
    setFixedHeight(waveformHeight);
    setCursor(Qt::IBeamCursor);
    setAccessibleName(QStringLiteral("파형"));
}

void CueEditorWaveform::setPeaks(std::vector<float> peaks, double durationSeconds) {
    m_peaks = std::move(peaks);
    m_durationSeconds = std::isfinite(durationSeconds) ? std::max(durationSeconds, 0.0) : 0.0;
    update();
}

void CueEditorWaveform::setStartSeconds(double seconds) {
    if (seconds == m_startSeconds)
        return;
    m_startSeconds = seconds;
    update();
}

void CueEditorWaveform::setPlaceholder(const QString& text) {
    m_placeholder = text;
    update();
}

QSize CueEditorWaveform::sizeHint() const {
    return {400, waveformHeight};
}

QRectF CueEditorWaveform::plotArea() const {
    return QRectF(rect()).adjusted(inset, inset, -inset, -inset);
}

double CueEditorWaveform::secondsAt(int x) const {
    const QRectF area = plotArea();
    if (area.width() <= 0 || m_durationSeconds <= 0)
        return 0.0;
    const double fraction = std::clamp((x - area.left()) / area.width(), 0.0, 1.0);
    // Whole milliseconds, as the field keeps them.
    return std::round(fraction * m_durationSeconds * 1000.0) / 1000.0;
}

void CueEditorWaveform::pick(int x) {
    if (m_peaks.empty() || m_durationSeconds <= 0)
        return;
    const double seconds = secondsAt(x);
    setStartSeconds(seconds);
    Q_EMIT startSecondsPicked(seconds);
}

void CueEditorWaveform::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    pick(event->position().toPoint().x());
}

void CueEditorWaveform::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton))
        return QWidget::mouseMoveEvent(event);
    pick(event->position().toPoint().x());
}

void CueEditorWaveform::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(palette::fill());
    painter.setPen(QPen(palette::stroke(), 1));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);

    const QRectF area = plotArea();
    if (m_peaks.empty() || m_durationSeconds <= 0) {
        painter.setPen(palette::tertiary());
        painter.setFont(fonts::caption());
        painter.drawText(area, Qt::AlignCenter, m_placeholder);
        return;
    }
    const double markerX =
        area.left() + area.width() * std::clamp(m_startSeconds / m_durationSeconds, 0.0, 1.0);
    // One bar per pixel column; what plays from the start offset is bright.
    const int columns = std::max(1, static_cast<int>(area.width()));
    const qreal middle = area.center().y();
    for (int column = 0; column < columns; ++column) {
        const auto first = m_peaks.size() * column / columns;
        const auto last = std::max(first + 1, m_peaks.size() * (column + 1) / columns);
        const float peak = *std::max_element(m_peaks.begin() + first, m_peaks.begin() + last);
        const qreal half = std::max<qreal>(0.5, peak * area.height() / 2);
        const qreal x = area.left() + column + 0.5;
        painter.setPen(QPen(x < markerX ? palette::secondary() : palette::accent(), 1));
        painter.drawLine(QPointF(x, middle - half), QPointF(x, middle + half));
    }
    painter.setPen(QPen(palette::orange(), 2));
    painter.drawLine(QPointF(markerX, rect().top() + 2), QPointF(markerX, rect().bottom() - 2));
}

}  // namespace tavrel
