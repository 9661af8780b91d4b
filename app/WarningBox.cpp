#include "app/WarningBox.h"

#include "res/StringTable.h"

#include <QApplication>
#include <QMessageBox>
#include <QRegularExpression>

QString BoxText(const QString& text) {
    static const QRegularExpression blankBeforeMark(QStringLiteral(" ([?!])(?=\\s|$)"));
    QString shown = text;
    shown.replace(blankBeforeMark, QStringLiteral("\u00A0\\1"));
    return shown;
}

void ShowWarningBox(QWidget* parent, const QString& text) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        qWarning("%s", qPrintable(text));
        return;
    }
    QMessageBox::warning(parent ? parent : QApplication::activeWindow(), KqString(IdsAppTitle),
                         BoxText(text));
}
