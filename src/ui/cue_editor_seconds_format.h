#pragma once

#include <optional>

#include <QLocale>
#include <QString>

#include "playback/audio_overview.h"

namespace tavrel {

// The editor's start-offset field: a decimal number with 0 to 3 fraction
// digits, written and read in the user's locale.

QString formatStartSeconds(double seconds, const QLocale& locale = QLocale());
// Empty when the text is not a finite number; otherwise rounded to 3 digits.
// Takes "." and "," alike as the decimal point.
std::optional<double> parseStartSeconds(const QString& text, const QLocale& locale = QLocale());

// The audio row's detail: "2:31 · MP3 44.1 kHz 스테레오"; empty while the
// format is unknown.
QString audioDetailText(const AudioOverview& overview);

}  // namespace tavrel
