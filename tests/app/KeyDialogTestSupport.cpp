#include "KeyDialogTestSupport.h"

#include "app/KeyStore.h"
#include "forms/EditableListCtrl.h"
#include "forms/KeyStoreDlg.h"
#include "forms/MasterkeyAuthentDlg.h"
#include "forms/SetDesfireKeysDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

namespace kqtest {

KeyDialogAnswerer::KeyDialogAnswerer() : m_watcher([this](QWidget* modal) { return Answer(modal); }) {}

bool KeyDialogAnswerer::Answer(QWidget* modal) {
    if (auto* store = qobject_cast<CKeyStoreLoadDlg*>(modal)) {
        const KeyAnswer answer = m_storeAnswer;
        QPointer<CKeyStoreLoadDlg> dialog(store);
        QMetaObject::invokeMethod(
            store,
            [dialog, answer] {
                if (!dialog) return;
                CEditableListCtrl* list = dialog->List();
                if (answer.how == KeyAnswer::DoubleClick) {
                    // A click, then the second press as a double click.
                    const QPoint row = list->visualRect(list->model()->index(answer.row, 0)).center();
                    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row);
                    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row);
                } else {
                    list->SelectRow(answer.row);
                    ControlById<QPushButton>(*dialog, 1267)->click();
                }
            },
            Qt::QueuedConnection);
        return true;
    }
    const bool master = qobject_cast<CMasterkeyAuthentDlg*>(modal);
    if (!master && !qobject_cast<CSetDesfireKeysDlg*>(modal)) return false;
    auto* label = ControlById<QLabel>(*modal, 1263);
    asked << modal->objectName() + '|' + modal->windowTitle() + '|' + (label ? label->text() : QString());
    KeyAnswer answer;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    }
    m_storeAnswer = answer;
    QPointer<QDialog> dialog(qobject_cast<QDialog*>(modal));
    QMetaObject::invokeMethod(
        modal,
        [dialog, answer, master] {
            if (!dialog) return;
            if (answer.how == KeyAnswer::Cancel) {
                dialog->reject();
                return;
            }
            if (answer.how == KeyAnswer::Type)
                ControlById<QLineEdit>(*dialog, master ? 1272 : 1275)->setText(answer.text);
            else
                ControlById<QPushButton>(*dialog, 1267)->click(); // returns once the store dialog is closed
            ControlById<QPushButton>(*dialog, master ? 1260 : 1274)->click();
        },
        Qt::QueuedConnection);
    return true;
}

void StoreKeys(const QStringList& entries) {
    CKeyStoreItemList list;
    for (const QString& entry : entries)
        list.Items.push_back({entry.section('=', 0, 0), entry.section('=', 1)});
    list.Save();
}

} // namespace kqtest
