#include "ui/cue_editor_seconds_format.h"

#include <cmath>

namespace tavrel {

namespace {

double roundedToMilliseconds(double seconds) {
    return std::round(seconds * 1000.0) / 1000.0;
}

}  // namespace

QString formatStartSeconds(double seconds, const QLocale& locale) {
    QString text = locale.toString(roundedToMilliseconds(seconds), 'f', 3);
    const QString point = locale.decimalPoint();
    const int pointAt = text.lastIndexOf(point);
    if (pointAt < 0)
        return text;
    const QString zero = locale.zeroDigit();
    while (text.endsWith(zero))
        text.chop(zero.size());
    if (text.endsWith(point))
        text.chop(point.size());
    // "-0" after rounding a tiny negative value.
    if (text == locale.negativeSign() + zero)
        return zero;
    return text;
}

std::optional<double> parseStartSeconds(const QString& text, const QLocale& locale) {
    // Either mark is a decimal point, whatever the locale says: operators type
    // both. Nothing else is accepted, not even grouping marks.
    QString plain = text.trimmed();
    plain.replace(locale.decimalPoint(), QStringLiteral("."));
    plain.replace(QLatin1Char(','), QLatin1Char('.'));
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = c.toDouble(plain, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return roundedToMilliseconds(value);
}

}  // namespace tavrel
