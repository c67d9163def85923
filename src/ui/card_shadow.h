#pragma once

#include <QColor>
#include <QPixmap>
#include <QRect>

namespace tavrel {

// A card's soft shadow, painted by the board behind the card instead of a
// graphics effect: an effect renders its card off screen and blurs it again
// on every repaint of anything inside, so each arriving thumbnail cost a blur.
// Here the blur runs once per size and colour and is kept.
struct CardShadow {
    QColor colour;
    int blurRadius = 10;  // how far the shadow reaches beyond the card
    int offsetY = 3;

    bool operator==(const CardShadow&) const = default;

    // Where the shadow of a card at `card` is drawn.
    QRect area(const QRect& card) const;
    // The shadow for a card of `size` with rounded corners, at the ratio; cached.
    QPixmap pixmap(const QSize& size, qreal cornerRadius, qreal devicePixelRatio) const;
};

}  // namespace tavrel
