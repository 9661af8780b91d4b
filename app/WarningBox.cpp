#include "app/WarningBox.h"

#include "res/StringTable.h"

#include <QApplication>
#include <QMessageBox>

void ShowWarningBox(QWidget* parent, const QString& text) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        qWarning("%s", qPrintable(text));
        return;
    }
    QMessageBox::warning(parent ? parent : QApplication::activeWindow(), KqString(IdsAppTitle), text);
}
