#pragma once

#include <QColor>
#include <QWidget>

namespace tavrel {

// One line of text, cut with "…" when it does not fit.
class ElidedLabel : public QWidget {
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return m_text; }
    void setColor(const QColor& color);
    const QColor& color() const { return m_color; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    QColor m_color;
};

}  // namespace tavrel
