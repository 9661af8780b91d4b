#include "app/BusyGuard.h"

#include <QApplication>
#include <QMainWindow>

namespace {

// The program's main window: its top-level main window, when it has one.
QWidget* MainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(widget)) return widget;
    }
    return nullptr;
}

} // namespace

CBusyGuard::CBusyGuard() : m_mainWindow(MainWindow()) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (m_mainWindow) {
        m_wasEnabled = m_mainWindow->isEnabled();
        m_mainWindow->setEnabled(false);
    }
}

CBusyGuard::~CBusyGuard() {
    if (m_mainWindow && m_wasEnabled) m_mainWindow->setEnabled(true);
    QApplication::restoreOverrideCursor();
}
