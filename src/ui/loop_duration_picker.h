#pragma once

#include <functional>

#include <QWidget>

#include "ui/loop_duration.h"

namespace tavrel {

// A segmented control with one segment per LoopDuration, in case order.
// Takes no keyboard focus.
class LoopDurationPicker : public QWidget {
    Q_OBJECT

public:
    explicit LoopDurationPicker(QWidget* parent = nullptr);

    LoopDuration duration() const { return m_duration; }
    // Does not call onPicked.
    void setDuration(LoopDuration duration);
    // Run when the user clicks a segment other than the current one.
    void setOnPicked(std::function<void(LoopDuration)> onPicked) {
        m_onPicked = std::move(onPicked);
    }

    // The segment's rectangle, for clicks in tests.
    QRect segmentRect(LoopDuration duration) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    LoopDuration m_duration = LoopDuration::tenMinutes;
    std::function<void(LoopDuration)> m_onPicked;
};

}  // namespace tavrel
