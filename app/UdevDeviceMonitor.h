#pragma once

#include "app/DeviceChangeMonitor.h"

class QSocketNotifier;
struct udev;
struct udev_monitor;

// Device changes as udev announces them, once its rules have run (the device nodes
// then exist): serial ttys, hidraw nodes and whole USB devices. A burst of events
// read at one wake-up gives one DeviceChanged: DeviceArrival when a device was added
// among them, otherwise DevNodesChanged.
class UdevDeviceMonitor final : public DeviceChangeMonitor {
    Q_OBJECT
public:
    // nullptr when udev cannot be watched (no udev, no netlink).
    static std::unique_ptr<UdevDeviceMonitor> Create();
    ~UdevDeviceMonitor() override;

private:
    UdevDeviceMonitor(udev* context, udev_monitor* monitor);
    void OnReadable();

    udev* m_udev;
    udev_monitor* m_monitor;
    QSocketNotifier* m_notifier;
};
