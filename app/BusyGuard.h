#pragma once

#include <QPointer>
#include <QWidget>

// For the length of a long operation on the user-interface thread: the wait cursor,
// and the main window disabled when there is one. The destructor enables the main
// window again only when it was enabled before, then ends the wait cursor.
class CBusyGuard {
public:
    CBusyGuard();
    ~CBusyGuard();
    CBusyGuard(const CBusyGuard&) = delete;
    CBusyGuard& operator=(const CBusyGuard&) = delete;

private:
    QPointer<QWidget> m_mainWindow; // a pumped event may delete it meanwhile
    bool m_wasEnabled = false;
};
