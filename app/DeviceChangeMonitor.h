#pragma once

#include <QObject>

#include <memory>

// Tells when devices come or go, so that a window that lists them can look again.
// The system's monitor watches udev; tests drive a monitor of their own by emitting
// DeviceChanged.
class DeviceChangeMonitor : public QObject {
    Q_OBJECT
public:
    // The events DeviceChanged carries.
    enum Event : int {
        DeviceArrival = 0x8000, // a device was added
        DevNodesChanged = 7,    // devices were removed or changed
    };

    using QObject::QObject;
    ~DeviceChangeMonitor() override = default;

    // The system's monitor, or nullptr when device changes cannot be watched here.
    static std::unique_ptr<DeviceChangeMonitor> CreateSystemMonitor();

signals:
    void DeviceChanged(int event);
};
