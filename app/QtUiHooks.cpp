#include "app/QtUiHooks.h"

#include "kqlmx.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace {

// What a disabled window needs to be restored.
struct DisabledWindow {
    QPointer<QWidget> window;
    QPointer<QWidget> focus;
    bool wasEnabled = false;
};

void PumpEvents(void*) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void* DisableActiveWindow(void*) {
    auto token = std::make_unique<DisabledWindow>();
    token->window = QApplication::activeWindow();
    token->focus = QApplication::focusWidget();
    if (token->window) {
        token->wasEnabled = token->window->isEnabled();
        token->window->setEnabled(false);
    }
    if (token->focus) token->focus->clearFocus();
    return token.release();
}

void RestoreActiveWindow(void*, void* handle) {
    const std::unique_ptr<DisabledWindow> token(static_cast<DisabledWindow*>(handle));
    if (!token) return;
    if (token->window && token->wasEnabled) token->window->setEnabled(true);
    if (token->focus && token->focus->isEnabled()) token->focus->setFocus();
}

void BeginBusy(void*) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void EndBusy(void*) {
    QApplication::restoreOverrideCursor();
}

} // namespace

void InstallQtUiHooks() {
    const KQLMX_UiHooks hooks{nullptr,   PumpEvents, DisableActiveWindow, RestoreActiveWindow,
                              BeginBusy, EndBusy};
    KQLMX_SetUiHooks(&hooks);
}

void RemoveQtUiHooks() {
    KQLMX_SetUiHooks(nullptr);
}

void WaitWithoutUserInput(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}
