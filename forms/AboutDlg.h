#pragma once

#include <QDialog>

class CBitmapStatic;
class CLabel;
class CUpdateCheck;
class QCheckBox;

// The About box "Info über KQ-NFC Programmer": the program's version and file date,
// the maker's web and mail links (build settings KQ_MAKER_WEB_URL and KQ_MAKER_MAIL,
// hidden when empty), the update status line and the check box "automatisch auf neue
// Version prüfen" ("Version"/"Update", stored by OK and Cancel alike).
//
// Showing it asks the update check again; its status line shows the answer (once
// the check has ended). When a newer version is offered the line is a link: a click
// downloads and starts the installer and, when it really started, ends the program.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    CAboutDlg(CUpdateCheck& updateCheck, QWidget* parent = nullptr);

    QCheckBox* UpdateCheckBox() const { return m_updateCheckBox; }
    CLabel* StatusLabel() const { return m_statusLabel; }

public slots:
    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void customEvent(QEvent* event) override;

private:
    void ShowUpdateStatus();
    void OnStatusClicked();
    void StoreUpdateSetting();

    CUpdateCheck& m_updateCheck;
    CBitmapStatic* m_logo;
    CLabel* m_versionText;
    CLabel* m_webLink;
    CLabel* m_mailLink;
    CLabel* m_statusLabel;
    QCheckBox* m_updateCheckBox;
    bool m_checkStarted = false;
};
