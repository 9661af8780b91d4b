// Answers the key dialogs as a user would: the master-key and protection-key dialogs
// by typing a key, by taking one from the key store ("Laden" on a selected row, or a
// double click on it), or by cancelling. Meant for any test whose engine asks for
// keys through the dialogs, against a scripted tag or the simulator.
#pragma once

#include "ShellTestSupport.h"

#include <QString>
#include <QStringList>

#include <deque>

namespace kqtest {

struct KeyAnswer {
    enum How { Cancel, Type, LoadButton, DoubleClick };
    How how = Cancel;
    QString text; // the key typed (Type)
    int row = 0;  // the key store's row taken (LoadButton, DoubleClick)
};

// A watcher that answers each key dialog with the next answer (none left: cancel),
// and the key store dialogs opened from them as the answer says. Each key dialog is
// noted as "<object name>|<title>|<label 1263>".
class KeyDialogAnswerer {
public:
    KeyDialogAnswerer();
    std::deque<KeyAnswer> answers;
    QStringList asked;
    // Every modal the watcher saw (object names, message box texts).
    const QStringList& Seen() const { return m_watcher.seen; }

private:
    bool Answer(QWidget* modal);

    KeyAnswer m_storeAnswer;
    ModalWatcher m_watcher;
};

// Stores keys "name=value" in the key store, in this order.
void StoreKeys(const QStringList& entries);

} // namespace kqtest
