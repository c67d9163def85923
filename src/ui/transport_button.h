#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QString>

#include "ui/symbol_icon.h"

namespace tavrel {

// The large tinted play, pause and stop button: a filled rounded button with
// a symbol and a caption, at least 92 wide. Disabled, it keeps caption, symbol
// and tint, dimmed. Takes no keyboard focus: Space belongs to the pause item.
class TransportButton : public QAbstractButton {
    Q_OBJECT

public:
    TransportButton(const QString& title, Symbol systemImage, const QColor& tint,
                    QWidget* parent = nullptr);

    void setTitle(const QString& title);
    void setSystemImage(Symbol systemImage);
    QString title() const { return text(); }
    Symbol systemImage() const { return m_systemImage; }
    const QColor& tint() const { return m_tint; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    static constexpr int minimumButtonWidth = 92;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Symbol m_systemImage;
    QColor m_tint;
};

}  // namespace tavrel
