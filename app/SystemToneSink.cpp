#include "app/SystemToneSink.h"

#include "platform/AlsaTone.h"

#include <QApplication>

#include <chrono>
#include <thread>

void SystemToneSink::Beep(int frequencyHz, int ms) {
    if (ms <= 0) return;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    if (!kq::platform::PlayTone(frequencyHz, ms) && qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::beep();
    // A sound output that returned early, or none: the tone still takes its time.
    std::this_thread::sleep_until(end);
}
