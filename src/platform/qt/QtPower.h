#pragma once

#include <memory>
#include <vector>

#include <QString>
#include <QTimer>

#include "platform/Power.h"

namespace tavrin::platform {

// One entry of /sys/class/power_supply, as far as the power status needs it.
struct PowerSupply {
    QString type;           // "Mains", "USB", "Battery" ...
    QString scope;          // "Device" for the batteries of a mouse or a headset
    bool online = false;    // for mains and USB supplies
    QString status;         // for batteries: "Charging", "Discharging", "Full" ...
    int capacity = -1;      // percent; -1 when not reported
    QString capacityLevel;  // "Critical", "Low", "Normal", "High", "Full" when no percentage is given
};

// The status the recorder works with, from the machine's power supplies. A
// machine without a battery of its own runs on external power. The battery
// counts as high above a third of its charge, low above 5 %, critical below.
PowerStatus PowerStatusOf(const std::vector<PowerSupply>& supplies);

// The supplies the kernel lists under `root` (normally /sys/class/power_supply).
std::vector<PowerSupply> ReadPowerSupplies(const QString& root);

// Power on a Linux desktop: the status from sysfs; keeping awake through a
// "sleep:idle" inhibitor lock of the login manager, taken on the system bus
// without waiting for the answer and let go when it is not renewed for two
// and a half minutes. Without a system bus (or without the login manager)
// nothing is held, and the machine's own idle settings apply.
class QtPower : public Power {
public:
    explicit QtPower(QString supplyRoot = QStringLiteral("/sys/class/power_supply"));
    ~QtPower() override;
    QtPower(const QtPower&) = delete;
    QtPower& operator=(const QtPower&) = delete;

    PowerStatus status() override;
    void keepAwake() override;

    // Whether a lock is held or being asked for.
    bool holding() const { return held || asking; }

private:
    void ask();
    void letGo();

    QString root;
    QTimer lapse;
    bool asking = false;
    bool held = false;
    struct Lock;
    std::unique_ptr<Lock> lock;
};

}  // namespace tavrin::platform
