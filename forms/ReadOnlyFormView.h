#pragma once

#include "forms/TagJobFormView.h"

class QLabel;

// The lock form: locks the tag on the reader for ever against writing, once with
// "Schreiben" or cyclically, each new tag once (the main window's cyclic locking).
//
// It also holds two rows that protect a DESFire tag with a key (its configuration,
// or its configuration and data: captions 1004 / 1005, buttons 1002 / 1006 once and
// 1017 / 1018 cyclically). They are built hidden and nothing shows them: the form
// offers the permanent lock alone. 1002 and 1006 would ask the engine for the
// protection; 1017 and 1018 do nothing.
class CReadOnlyFormView : public CTagJobFormView {
    Q_OBJECT
public:
    explicit CReadOnlyFormView(CNfcProgDoc* doc, QWidget* parent = nullptr);

protected:
    void OnWrite() override;

private:
    // A hidden key-protection row: caption, once button, cyclic button.
    void AddProtectionRow(int captionId, const QString& caption, int onceId, int cyclicId, int dataToo);
};
