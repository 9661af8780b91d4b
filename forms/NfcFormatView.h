#pragma once

#include "forms/TagJobFormView.h"

// The format form: formats the tag on the reader as an NFC tag (its NFC data is
// deleted), once with "Schreiben" or cyclically, each new tag once, through the main
// window's cyclic write with an empty pending record.
class CNfcFormatView : public CTagJobFormView {
    Q_OBJECT
public:
    explicit CNfcFormatView(CNfcProgDoc* doc, QWidget* parent = nullptr);

protected:
    void OnWrite() override;
};
