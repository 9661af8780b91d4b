#include "app/UdevDeviceMonitor.h"

#include <QSocketNotifier>

#include <cstring>
#include <fcntl.h>
#include <libudev.h>

std::unique_ptr<DeviceChangeMonitor> DeviceChangeMonitor::CreateSystemMonitor() {
    return UdevDeviceMonitor::Create();
}

std::unique_ptr<UdevDeviceMonitor> UdevDeviceMonitor::Create() {
    udev* context = udev_new();
    if (!context) return nullptr;
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    const bool watching =
        monitor && udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) >= 0 &&
        udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) >= 0 &&
        udev_monitor_filter_add_match_subsystem_devtype(monitor, "usb", "usb_device") >= 0 &&
        udev_monitor_enable_receiving(monitor) >= 0;
    if (!watching) {
        if (monitor) udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    const int fd = udev_monitor_get_fd(monitor);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); // OnReadable reads until nothing is left
    return std::unique_ptr<UdevDeviceMonitor>(new UdevDeviceMonitor(context, monitor));
}

UdevDeviceMonitor::UdevDeviceMonitor(udev* context, udev_monitor* monitor)
    : m_udev(context), m_monitor(monitor),
      m_notifier(new QSocketNotifier(udev_monitor_get_fd(monitor), QSocketNotifier::Read, this)) {
    connect(m_notifier, &QSocketNotifier::activated, this, &UdevDeviceMonitor::OnReadable);
}

UdevDeviceMonitor::~UdevDeviceMonitor() {
    delete m_notifier; // before the descriptor goes
    udev_monitor_unref(m_monitor);
    udev_unref(m_udev);
}

void UdevDeviceMonitor::OnReadable() {
    bool any = false;
    bool added = false;
    // Bounded: a device storm cannot keep the user-interface thread here.
    for (int i = 0; i < 256; ++i) {
        udev_device* device = udev_monitor_receive_device(m_monitor);
        if (!device) break;
        any = true;
        const char* action = udev_device_get_action(device);
        if (action && std::strcmp(action, "add") == 0) added = true;
        udev_device_unref(device);
    }
    if (any) emit DeviceChanged(added ? DeviceArrival : DevNodesChanged);
}
