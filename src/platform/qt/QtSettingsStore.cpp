#include "platform/qt/QtSettingsStore.h"

#include <QSettings>
#include <QStringList>
#include <QVariant>

namespace tavrin::platform {
namespace {

QString Key(std::string_view subKey, std::string_view name) {
    return QString::fromUtf8(subKey.data(), static_cast<qsizetype>(subKey.size())) + QLatin1Char('/') +
           QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

// The value, or an invalid variant when it is absent.
QVariant Read(std::string_view subKey, std::string_view name) {
    const QSettings settings(QtSettingsStore::organization(), QtSettingsStore::application());
    return settings.value(Key(subKey, name));
}

bool Write(std::string_view subKey, std::string_view name, const QVariant& value) {
    QSettings settings(QtSettingsStore::organization(), QtSettingsStore::application());
    if (!settings.isWritable()) return false;
    settings.setValue(Key(subKey, name), value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace

const QString& QtSettingsStore::organization() {
    static const QString name = QStringLiteral("Korvel Software");
    return name;
}

const QString& QtSettingsStore::application() {
    static const QString name = QStringLiteral("Tavrin");
    return name;
}

bool QtSettingsStore::readNumber(std::string_view subKey, std::string_view name, std::uint32_t& value) {
    const QVariant stored = Read(subKey, name);
    // A settings file keeps numbers as text; one edited by hand may hold
    // anything, and anything but a 32-bit unsigned number leaves the default.
    if (!stored.isValid() || stored.typeId() == QMetaType::QStringList) return false;
    bool ok = false;
    const uint number = stored.toString().trimmed().toUInt(&ok, 0);
    if (!ok) return false;
    value = number;
    return true;
}

bool QtSettingsStore::readString(std::string_view subKey, std::string_view name, std::string& value) {
    const QVariant stored = Read(subKey, name);
    // Text with an unquoted comma comes back as a list; that is not a value we wrote.
    if (!stored.isValid() || stored.typeId() == QMetaType::QStringList || !stored.canConvert<QString>()) return false;
    value = stored.toString().toStdString();
    return true;
}

bool QtSettingsStore::writeNumber(std::string_view subKey, std::string_view name, std::uint32_t value) {
    return Write(subKey, name, QVariant::fromValue(static_cast<uint>(value)));
}

bool QtSettingsStore::writeString(std::string_view subKey, std::string_view name, std::string_view value) {
    return Write(subKey, name, QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
}

}  // namespace tavrin::platform
