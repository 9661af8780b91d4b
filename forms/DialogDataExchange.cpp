#include "forms/DialogDataExchange.h"

#include "app/WarningBox.h"

#include <QCoreApplication>
#include <QIntValidator>
#include <QLineEdit>
#include <QToolTip>

QString IntRangeMessage(int min, int max) {
    return QCoreApplication::translate("DialogDataExchange",
                                       "Bitte geben Sie eine ganze Zahl zwischen %1 und %2 ein.")
        .arg(min)
        .arg(max);
}

void PrepareIntField(QLineEdit* field, int min, int max) {
    field->setValidator(new QIntValidator(min, max, field));
    QObject::connect(field, &QLineEdit::inputRejected, field, [field, min, max] {
        QToolTip::showText(field->mapToGlobal(QPoint(0, field->height())), IntRangeMessage(min, max), field);
    });
}

bool ExchangeIntField(QWidget* dialog, QLineEdit* field, int& value, int min, int max) {
    bool ok = false;
    const int number = field->text().trimmed().toInt(&ok);
    if (ok && number >= min && number <= max) {
        value = number;
        return true;
    }
    const QString message =
        ok ? IntRangeMessage(min, max)
           : QCoreApplication::translate("DialogDataExchange", "Bitte geben Sie eine ganze Zahl ein.");
    ShowWarningBox(dialog, message);
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
    return false;
}
