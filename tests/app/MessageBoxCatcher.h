#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

// Answers every message box that opens while it lives, keeping its text, so that
// a test can go through code that shows one (a modal box would wait for a click).
class MessageBoxCatcher : public QObject {
public:
    MessageBoxCatcher() {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                if (box->isVisible()) {
                    texts << box->text();
                    box->done(QMessageBox::Ok);
                }
            }
        });
        m_timer.start(10);
    }

    QStringList texts;

private:
    QTimer m_timer;
};
