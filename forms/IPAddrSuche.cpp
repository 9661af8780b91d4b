#include "forms/IPAddrSuche.h"

#include "forms/LanConfig.h"
#include "kqlmx.h"
#include "res/StringTable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QThread>
#include <QVBoxLayout>

#include <cstring>
#include <vector>

namespace {

constexpr int kListBufferSize = 2500;

QStringList LanReaders(int (*find)(char*, int)) {
    std::vector<char> buffer(kListBufferSize, '\0');
    const int used = find(buffer.data(), kListBufferSize);
    QStringList texts;
    for (int at = 0; at < used && at < kListBufferSize && buffer[at] != '\0';) {
        const size_t length = strnlen(buffer.data() + at, static_cast<size_t>(kListBufferSize - at));
        texts << QString::fromUtf8(buffer.data() + at, static_cast<qsizetype>(length));
        at += static_cast<int>(length) + 1;
    }
    return texts;
}

// Entries found only by the plain search are drawn red and italic unless selected.
class EntryDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(Qt::UserRole).toInt() != CIPAddrSuche::PlainOnly) return;
        option->font.setItalic(true);
        if (!(option->state & QStyle::State_Selected))
            option->palette.setColor(QPalette::Text, QColor(255, 0, 0));
    }
};

// Pauses for `ms` while the application's events go on.
void PauseFor(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(5);
    }
}

} // namespace

CIPAddrSuche::CIPAddrSuche(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("IP-Adressen"));
    setObjectName(QStringLiteral("CIPAddrSuche"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("161"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setItemDelegate(new EntryDelegate(m_list));
    m_list->setMinimumWidth(m_list->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 40);

    m_changeButton = new QPushButton(tr("IP-Adresse ändern"), this);
    m_changeButton->setObjectName(QStringLiteral("1"));
    m_changeButton->setEnabled(false);
    auto* close = new QPushButton(tr("Schliessen"), this);
    close->setObjectName(QStringLiteral("2"));
    close->setDefault(true);
    connect(m_changeButton, &QPushButton::clicked, this, &CIPAddrSuche::accept);
    connect(close, &QPushButton::clicked, this, &CIPAddrSuche::reject);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &CIPAddrSuche::OnSelectionChanged);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_changeButton);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
}

void CIPAddrSuche::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_searched) return;
    m_searched = true;
    // The search runs once the dialog is on screen; the size it opens with is its least.
    QMetaObject::invokeMethod(
        this,
        [this] {
            setMinimumSize(size());
            SearchReaders();
        },
        Qt::QueuedConnection);
}

bool CIPAddrSuche::SearchReaders() {
    for (;;) {
        setEnabled(false);
        m_list->clear();
        for (const QString& text : LanReaders(KQLMX_FindLanReadersEx)) {
            if (text.isEmpty()) continue;
            auto* item = new QListWidgetItem(text, m_list);
            item->setData(Qt::UserRole, Usable);
        }
        for (const QString& text : LanReaders(KQLMX_FindLanReaders)) {
            if (text.isEmpty()) continue;
            const qsizetype close = text.indexOf(QLatin1Char(']'));
            const QString key = text.startsWith(QLatin1Char('[')) && close >= 0 ? text.left(close + 1) : text;
            QListWidgetItem* same = nullptr;
            for (int row = 0; row < m_list->count() && !same; ++row)
                if (m_list->item(row)->text().compare(key, Qt::CaseInsensitive) == 0)
                    same = m_list->item(row);
            if (same) {
                same->setText(text);
                same->setData(Qt::UserRole, Usable);
            } else {
                auto* item = new QListWidgetItem(text, m_list);
                item->setData(Qt::UserRole, PlainOnly);
            }
        }
        if (m_list->count() > 0) break;
        QMessageBox box(QMessageBox::Warning, KqString(IdsFoundAddressesCaption), KqString(IdsNoLanDevices),
                        QMessageBox::Retry | QMessageBox::Cancel, this);
        if (box.exec() == QMessageBox::Retry) continue;
        setEnabled(true);
        done(QDialog::Rejected);
        return false;
    }
    setEnabled(true);
    m_changeButton->setEnabled(!m_list->selectedItems().isEmpty());
    return true;
}

void CIPAddrSuche::OnSelectionChanged() {
    m_changeButton->setEnabled(!m_list->selectedItems().isEmpty());
}

void CIPAddrSuche::accept() {
    const auto selected = m_list->selectedItems();
    if (selected.isEmpty()) return;
    CLanConfig config(selected.first()->text(), this);
    if (config.exec() != QDialog::Accepted) return;
    PauseFor(300);
    SearchReaders();
}

void CIPAddrSuche::reject() {
    const auto selected = m_list->selectedItems();
    if (!selected.isEmpty() && selected.first()->data(Qt::UserRole).toInt() == Usable)
        ChosenReader = selected.first()->text();
    QDialog::reject();
}
