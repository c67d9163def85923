#pragma once

#include <vector>

#include <QWidget>

namespace tavrel {

// The editor's overview of the whole audio file, with a marker at the start
// offset. A click or drag picks the offset under the pointer.
class CueEditorWaveform : public QWidget {
    Q_OBJECT

public:
    explicit CueEditorWaveform(QWidget* parent = nullptr);

    // Peaks (0…1) spread evenly over `durationSeconds`; empty: nothing to show yet.
    void setPeaks(std::vector<float> peaks, double durationSeconds);
    void setStartSeconds(double seconds);
    // Shown while there are no peaks.
    void setPlaceholder(const QString& text);
    double startSeconds() const { return m_startSeconds; }
    double durationSeconds() const { return m_durationSeconds; }
    // The offset a pointer at `x` picks, within the file.
    double secondsAt(int x) const;

    QSize sizeHint() const override;

Q_SIGNALS:
    void startSecondsPicked(double seconds);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QRectF plotArea() const;
    void pick(int x);

    std::vector<float> m_peaks;
    double m_durationSeconds = 0.0;
    double m_startSeconds = 0.0;
    QString m_placeholder;
};

}  // namespace tavrel
