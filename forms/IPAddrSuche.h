#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;

// The LAN search dialog "IP-Adressen": lists the LAN readers that answer the
// discovery, the ones found only without the device-type check in red italics, lets
// the user change a reader's network settings ("IP-Adresse ändern", CLanConfig) and
// gives back the reader chosen when it is closed ("Schliessen").
class CIPAddrSuche : public QDialog {
    Q_OBJECT
public:
    // Item data of a list entry: a usable reader, or one found only by the plain search.
    enum EntryKind { Usable = 1, PlainOnly = 2 };

    explicit CIPAddrSuche(QWidget* parent = nullptr);

    // The selected usable reader when the dialog was closed; empty otherwise.
    QString ChosenReader;

    QListWidget* ReaderList() const { return m_list; }
    QPushButton* ChangeButton() const { return m_changeButton; }

public slots:
    void accept() override; // "IP-Adresse ändern"
    void reject() override; // "Schliessen"

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Both discoveries into the list; false when the user gave up on an empty list
    // (the dialog is then closed).
    bool SearchReaders();
    void OnSelectionChanged();

    QListWidget* m_list;
    QPushButton* m_changeButton;
    bool m_searched = false;
};
