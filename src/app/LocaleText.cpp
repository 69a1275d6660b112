#include "app/LocaleText.h"

#include <QRegularExpression>

namespace tavrin::app {

QString ShortDate(const QLocale& locale, QDate date) { return locale.toString(date, QLocale::ShortFormat); }

QString TimeWithoutSeconds(const QLocale& locale, QTime time) {
    QString format = locale.timeFormat(QLocale::ShortFormat);
    // The seconds with the separator before them, and any fraction after.
    static const QRegularExpression seconds(QStringLiteral("[^hHmaApPt']*s+(\\.z+)?"));
    format.remove(seconds);
    return locale.toString(time, format.trimmed());
}

}  // namespace tavrin::app
