#include "forms/KeyStoreDlg.h"

#include "app/ProfileSettings.h"
#include "forms/EditableListCtrl.h"
#include "forms/NeuerSchluesselDlg.h"
#include "res/StringTable.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kWidthSection = QStringLiteral("DesfireKeyListCtrl");
constexpr int kDefaultColumnWidth = 100;
constexpr int kColumns = 2;
// Column 0's items carry the index of their key in the list in memory.
constexpr int kItemIndexRole = Qt::UserRole;

QString WidthKey(int column) {
    return QStringLiteral("Breite%1").arg(column);
}

QPushButton* Button(QWidget* parent, const QString& text, int id) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    return button;
}

} // namespace

QLineEdit* CreateStatusEdit(QWidget* parent, int id) {
    auto* status = new QLineEdit(parent);
    status->setObjectName(QString::number(id));
    status->setReadOnly(true);
    status->setFocusPolicy(Qt::ClickFocus);
    // Wide enough for the longest of the key dialogs' status texts.
    status->setMinimumWidth(status->fontMetrics().horizontalAdvance(KqString(IdsSelectKey)) + 16);
    return status;
}

QLineEdit* CreateKeyEdit(QWidget* parent, int id) {
    auto* key = new QLineEdit(parent);
    key->setObjectName(QString::number(id));
    const QFontMetrics metrics = key->fontMetrics();
    int digit = 0;
    for (QChar c : QStringLiteral("0123456789ABCDEFabcdef"))
        digit = std::max(digit, metrics.horizontalAdvance(c));
    // The frame and the edit's inner margins besides the text.
    key->setMinimumWidth(32 * digit + 15 * metrics.horizontalAdvance(u' ') + 16);
    return key;
}

CKeyStoreDlg::CKeyStoreDlg(QWidget* parent)
    : QDialog(parent), m_list(new CEditableListCtrl(this)), m_status(CreateStatusEdit(this, 1265)),
      m_loadButton(Button(this, tr("Laden"), 1267)) {
    setObjectName(QStringLiteral("CKeyStoreDlg"));
    setWindowTitle(tr("Schlüssel laden"));

    m_list->setObjectName(QStringLiteral("1264"));
    m_list->LabelEditing = true;
    m_list->setColumnCount(kColumns);
    m_list->setHorizontalHeaderLabels({tr("Name"), tr("Wert")});
    // Without a stored width, "Wert" shows a whole key of 32 digits.
    const int keyWidth = m_list->fontMetrics().horizontalAdvance(QString(32, u'D')) + 16;
    const int defaultWidths[kColumns] = {kDefaultColumnWidth, std::max(kDefaultColumnWidth, keyWidth)};
    for (int column = 0; column < kColumns; ++column) {
        m_list->horizontalHeaderItem(column)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        m_list->setColumnWidth(
            column, ProfileSettings::ReadInt(kWidthSection, WidthKey(column), defaultWidths[column]));
    }
    // A list to pick from and to reorder: nothing is edited in place.
    m_list->ResetColumns();
    m_list->setMinimumSize(std::max(320, defaultWidths[0] + defaultWidths[1] + 24), 180);

    auto* newButton = Button(this, tr("Anlegen"), 1261);
    auto* deleteButton = Button(this, tr("Löschen"), 1262);
    auto* closeButton = Button(this, tr("Schließen"), 2);
    m_loadButton->setDefault(true);
    connect(newButton, &QPushButton::clicked, this, &CKeyStoreDlg::OnNew);
    connect(deleteButton, &QPushButton::clicked, this, &CKeyStoreDlg::OnDelete);
    connect(closeButton, &QPushButton::clicked, this, &CKeyStoreDlg::reject);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {m_loadButton, newButton, deleteButton})
        buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(closeButton);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(tr("Schlüssel im Programm-Schlüsselspeicher:"), this), 0, 0, 1, 2);
    grid->addWidget(m_list, 1, 0, 1, 2);
    grid->addLayout(buttons, 1, 2);
    grid->addWidget(new QLabel(tr("Status:"), this), 2, 0);
    grid->addWidget(m_status, 2, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(1, 1);

    m_items.Load();
    FillRows();
}

void CKeyStoreDlg::FillRows() {
    m_list->setRowCount(0);
    m_list->setRowCount(static_cast<int>(m_items.Items.size()));
    for (int row = 0; row < m_list->rowCount(); ++row) {
        const CKeyStoreItem& key = m_items.Items[static_cast<size_t>(row)];
        auto* name = new QTableWidgetItem(key.Name);
        name->setData(kItemIndexRole, row);
        m_list->setItem(row, 0, name);
        m_list->setItem(row, 1, new QTableWidgetItem(key.Value));
    }
}

int CKeyStoreDlg::SelectedRow() const {
    int first = -1;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows())
        if (first < 0 || index.row() < first) first = index.row();
    return first;
}

void CKeyStoreDlg::SaveColumnWidths() const {
    for (int column = 0; column < kColumns; ++column)
        ProfileSettings::WriteInt(kWidthSection, WidthKey(column), m_list->columnWidth(column));
}

void CKeyStoreDlg::reject() {
    SaveColumnWidths();
    QDialog::reject();
}

void CKeyStoreDlg::OnNew() {
    m_status->clear();
    CNeuerSchluesselDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted) {
        m_status->setText(KqString(IdsCancelled));
        return;
    }
    m_status->setText(KqString(IdsOperationSucceeded));
    m_items.Load();
    FillRows();
}

void CKeyStoreDlg::OnDelete() {
    m_status->setText(QStringLiteral(" "));
    const int row = SelectedRow();
    if (row < 0) {
        m_status->setText(KqString(IdsSelectKey));
        return;
    }
    // The key the row shows, wherever dragging has put the row.
    const QTableWidgetItem* name = m_list->item(row, 0);
    const int index = name ? name->data(kItemIndexRole).toInt() : row;
    if (index < 0 || index >= static_cast<int>(m_items.Items.size())) return;
    m_items.Items.erase(m_items.Items.begin() + index);
    const bool saved = m_items.Save();
    if (!saved) m_items.Load(); // the rows show what is stored
    FillRows();
    m_status->setText(saved ? KqString(IdsDeleteSucceeded) : KeyStoreNotSavedText());
}

QString KeyStoreNotSavedText() {
    return QCoreApplication::translate("CKeyStoreDlg", "Der Schlüsselspeicher konnte nicht gespeichert "
                                                       "werden: %1 ist nicht beschreibbar.")
        .arg(ProfileSettings::FilePath());
}

CKeyStoreLoadDlg::CKeyStoreLoadDlg(QWidget* parent) : CKeyStoreDlg(parent) {
    setObjectName(QStringLiteral("CKeyStoreLoadDlg"));
    connect(LoadButton(), &QPushButton::clicked, this, &CKeyStoreLoadDlg::OnLoad);
    connect(List(), &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.row() >= 0 && index.row() < List()->rowCount()) LoadRow(index.row());
    });
}

void CKeyStoreLoadDlg::OnLoad() {
    StatusEdit()->clear();
    SelectedValue.clear();
    const int row = SelectedRow();
    if (row < 0) {
        StatusEdit()->setText(KqString(IdsSelectKey));
        return;
    }
    LoadRow(row);
}

void CKeyStoreLoadDlg::LoadRow(int row) {
    const QTableWidgetItem* value = List()->item(row, 1);
    SelectedValue = value ? value->text() : QString();
    SaveColumnWidths();
    accept();
}

void LoadKeyFromStore(QWidget* parent, QLineEdit* keyEdit, QLineEdit* status) {
    CKeyStoreLoadDlg dialog(parent);
    if (dialog.exec() == QDialog::Accepted) {
        keyEdit->setText(dialog.SelectedValue);
        status->setText(KqString(IdsKeyValueLoaded));
    } else {
        status->setText(KqString(IdsCancelled));
    }
}

KeyDialogFields BuildKeyDialog(QDialog* dialog, const QList<QWidget*>& above, const QString& prompt,
                               int keyId, const QString& okText, int okId, const QString& cancelText) {
    QLineEdit* key = CreateKeyEdit(dialog, keyId);
    QLineEdit* status = CreateStatusEdit(dialog, 1268);
    auto* label = new QLabel(prompt, dialog);
    label->setObjectName(QStringLiteral("1263"));
    QPushButton* load = Button(dialog, QCoreApplication::translate("CKeyStoreDlg", "Laden"), 1267);
    load->setAutoDefault(false);
    QPushButton* ok = Button(dialog, okText, okId);
    ok->setDefault(true);
    QPushButton* cancel = Button(dialog, cancelText, 2);
    QObject::connect(load, &QPushButton::clicked, dialog,
                     [dialog, key, status] { LoadKeyFromStore(dialog, key, status); });
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);

    auto* grid = new QGridLayout(dialog);
    int row = 0;
    for (QWidget* text : above) {
        grid->addWidget(text, row++, 0, 1, 3);
        grid->setRowMinimumHeight(row++, 8);
    }
    grid->addWidget(label, row++, 0, 1, 3);
    grid->addWidget(key, row, 0, 1, 2);
    grid->addWidget(load, row++, 2);
    grid->addWidget(new QLabel(QCoreApplication::translate("CKeyStoreDlg", "Status:"), dialog), row, 0);
    grid->addWidget(status, row++, 1, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, row, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    key->setFocus();
    return {key, status, ok};
}
