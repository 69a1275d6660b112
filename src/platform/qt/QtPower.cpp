#include "platform/qt/QtPower.h"

#include <QDir>
#include <QFile>

#ifdef TAVRIN_HAVE_QTDBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#endif

namespace tavrin::platform {
namespace {

// Long enough to bridge two of the recorder's one-minute renewals.
constexpr int kLapseMs = 150'000;

QString ReadLine(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    return QString::fromUtf8(file.readLine()).trimmed();
}

std::uint8_t LevelOf(const PowerSupply& battery) {
    if (battery.capacity >= 0) {
        if (battery.capacity > 33) return battery::High;
        if (battery.capacity > 5) return battery::Low;
        return battery::Critical;
    }
    if (battery.capacityLevel == QLatin1String("Critical")) return battery::Critical;
    if (battery.capacityLevel == QLatin1String("Low")) return battery::Low;
    for (const char* fine : {"Normal", "High", "Full"})
        if (battery.capacityLevel == QLatin1String(fine)) return battery::High;
    return 0;
}

}  // namespace

PowerStatus PowerStatusOf(const std::vector<PowerSupply>& supplies) {
    PowerStatus status;
    const PowerSupply* battery = nullptr;
    bool anyExternal = false;
    for (const PowerSupply& s : supplies) {
        if (s.type == QLatin1String("Battery")) {
            if (!battery && s.scope != QLatin1String("Device")) battery = &s;
        } else {
            anyExternal = true;
            status.externalPower = status.externalPower || s.online;
        }
    }
    if (!battery) {
        // A desktop machine lists no battery, and often no mains supply either.
        status.batteryFlag = battery::NoBattery;
        status.externalPower = status.externalPower || !anyExternal;
        return status;
    }
    std::uint8_t flag = LevelOf(*battery);
    if (battery->status == QLatin1String("Charging")) flag |= battery::Charging;
    status.batteryFlag = flag == 0 ? battery::Unknown : flag;
    return status;
}

std::vector<PowerSupply> ReadPowerSupplies(const QString& root) {
    std::vector<PowerSupply> supplies;
    const QDir folder(root);
    for (const QString& name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name)) {
        const QString base = folder.filePath(name) + QLatin1Char('/');
        PowerSupply s;
        s.type = ReadLine(base + QStringLiteral("type"));
        s.scope = ReadLine(base + QStringLiteral("scope"));
        s.online = ReadLine(base + QStringLiteral("online")) == QLatin1String("1");
        s.status = ReadLine(base + QStringLiteral("status"));
        bool ok = false;
        const int capacity = ReadLine(base + QStringLiteral("capacity")).toInt(&ok);
        s.capacity = ok ? capacity : -1;
        s.capacityLevel = ReadLine(base + QStringLiteral("capacity_level"));
        if (!s.type.isEmpty()) supplies.push_back(s);
    }
    return supplies;
}

#ifdef TAVRIN_HAVE_QTDBUS
struct QtPower::Lock {
    QDBusUnixFileDescriptor descriptor;  // closing it ends the lock
};
#else
struct QtPower::Lock {};
#endif

QtPower::QtPower(QString supplyRoot) : root(std::move(supplyRoot)), lock(std::make_unique<Lock>()) {
    lapse.setSingleShot(true);
    lapse.setInterval(kLapseMs);
    QObject::connect(&lapse, &QTimer::timeout, [this] { letGo(); });
}

QtPower::~QtPower() = default;

PowerStatus QtPower::status() { return PowerStatusOf(ReadPowerSupplies(root)); }

void QtPower::keepAwake() {
    lapse.start();
    if (!held && !asking) ask();
}

void QtPower::letGo() {
    asking = false;
    held = false;
    lock = std::make_unique<Lock>();
}

#ifdef TAVRIN_HAVE_QTDBUS
void QtPower::ask() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << QStringLiteral("Tavrin") << QStringLiteral("Recording in progress")
         << QStringLiteral("block");
    asking = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), &lapse);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &lapse, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        // The lock lapsed while the answer was on its way: it is not wanted any more.
        if (!asking) return;
        asking = false;
        if (reply.isError() || !reply.value().isValid()) return;
        lock->descriptor = reply.value();
        held = true;
    });
}
#else
// Built without Qt DBus: there is no lock to take.
void QtPower::ask() {}
#endif

}  // namespace tavrin::platform
