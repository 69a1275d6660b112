#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

namespace tavrin::app {

// A recording's date in the locale's short date format.
QString ShortDate(const QLocale& locale, QDate date);

// A recording's time in the locale's short time format, without seconds:
// the panel shows when a recording was made, not to the second.
QString TimeWithoutSeconds(const QLocale& locale, QTime time);

}  // namespace tavrin::app
