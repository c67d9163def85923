#include "ui/cue_editor_seconds_format.h"

#include <cmath>

#include <QStringList>

namespace tavrel {

namespace {

double roundedToMilliseconds(double seconds) {
    return std::round(seconds * 1000.0) / 1000.0;
}

// "2:31", or "1:02:03" from an hour on.
QString durationText(double seconds) {
    const long total = std::isfinite(seconds) && seconds > 0 ? std::lround(seconds) : 0;
    const QString secondsPart = QStringLiteral("%1").arg(total % 60, 2, 10, QLatin1Char('0'));
    if (total < 3600)
        return QStringLiteral("%1:%2").arg(total / 60).arg(secondsPart);
    return QStringLiteral("%1:%2:%3")
        .arg(total / 3600)
        .arg(total / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(secondsPart);
}

QString channelsText(int channels) {
    switch (channels) {
        case 1:
            return QStringLiteral("모노");
        case 2:
            return QStringLiteral("스테레오");
        case 6:
            return QStringLiteral("5.1채널");
        case 8:
            return QStringLiteral("7.1채널");
        default:
            return QStringLiteral("%1채널").arg(channels);
    }
}

}  // namespace

QString audioDetailText(const AudioOverview& overview) {
    if (overview.formatName.empty())
        return {};
    QStringList format{QString::fromStdString(overview.formatName)};
    if (overview.sampleRate > 0)
        format << QStringLiteral("%1 kHz").arg(overview.sampleRate / 1000.0, 0, 'g', 6);
    if (overview.channels > 0)
        format << channelsText(overview.channels);
    return durationText(overview.durationSeconds) + QStringLiteral(" · ") +
           format.join(QLatin1Char(' '));
}

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
