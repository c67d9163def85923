#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include "playback/audio_playback_controller.h"

namespace tavrel {

// "m:ss" elapsed (whole seconds passed) and "-m:ss" remaining (whole seconds
// left, rounded up), so the two always add up to the length.
QString elapsedTimeText(double seconds);
QString remainingTimeText(double seconds);

// Elapsed time, a thin progress bar and the remaining time on one line,
// painted in one go. Repaints only when a text or the bar's filled pixel
// width changes, so ten updates a second cost about one repaint.
class PlaybackTimeRow : public QWidget {
    Q_OBJECT

public:
    explicit PlaybackTimeRow(QWidget* parent = nullptr);

    void setProgress(const PlaybackProgress& progress);
    void setTint(const QColor& tint);
    const QString& elapsedText() const { return m_elapsed; }
    const QString& remainingText() const { return m_remaining; }
    // 0 to 1; 0 when the length is unknown.
    double fraction() const { return m_fraction; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect barRect() const;
    int filledWidth() const;

    QString m_elapsed;
    QString m_remaining;
    double m_fraction = 0;
    int m_paintedFill = -1;
    QColor m_tint;
};

}  // namespace tavrel
