#pragma once

#include <QDialog>

class QLineEdit;

// The settings dialog "Einstellungen": the reader's beep length ("Tondauer",
// "Settings"/"BeepTime", 0..1000 ms, 0 = no beep) and the period of the cyclic jobs
// ("Zykluszeit", "Settings"/"ZyklusZeit", 100..10000 ms). The constructor reads
// both settings (clamped to these ranges); OK checks the fields, stores
// "ZyklusZeit", then "BeepTime", and closes; a refused field keeps the dialog open;
// Cancel stores nothing.
class CBeepTimeDlg : public QDialog {
    Q_OBJECT
public:
    explicit CBeepTimeDlg(QWidget* parent = nullptr);

    int BeepTime;
    int ZyklusZeit;

    QLineEdit* BeepTimeEdit() const { return m_beepTimeEdit; }
    QLineEdit* ZyklusZeitEdit() const { return m_zyklusZeitEdit; }

public slots:
    void accept() override;

private:
    // Fields -> members; false at the first refused field.
    bool UpdateData();

    QLineEdit* m_beepTimeEdit;
    QLineEdit* m_zyklusZeitEdit;
};
