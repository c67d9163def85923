#pragma once

#include <QLinearGradient>
#include <QWidget>

namespace tavrel {

// The dark blue three-stop gradient behind both screens, corner to corner.
// Children are laid out on top of it.
class TavrelBackdrop : public QWidget {
    Q_OBJECT

public:
    explicit TavrelBackdrop(QWidget* parent = nullptr);

    // The gradient for a frame of this size.
    static QLinearGradient gradient(const QSizeF& size);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tavrel
