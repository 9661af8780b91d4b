#include "forms/EditableListCtrl.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

const QString kEditorName = QString::number(CEditableListCtrl::kEditorId);

// The drop row is the one this far below the cursor.
constexpr int kDropRowOffset = 10;
// Where the edit box and the drop-down list start inside their cell.
constexpr int kEditBoxIndent = 4;
constexpr int kListIndent = 3;
// The widening edit box keeps this much room after its text.
constexpr int kTextRoom = 5;
// Rows the open drop-down shows.
constexpr int kListRows = 8;

QWidget* ListViewportOf(const QWidget* editor) {
    return editor->parentWidget();
}

} // namespace

// ---- Editors ----------------------------------------------------------------------

CInPlaceEdit::CInPlaceEdit(QWidget* parent, int row, int column, const QString& text)
    : QLineEdit(text, parent), Row(row), Column(column) {
    setObjectName(kEditorName);
    setFont(parent->font());
    selectAll();
    connect(this, &QLineEdit::textEdited, this, [this] { FitText(); });
}

void CInPlaceEdit::FitText() {
    const QWidget* viewport = ListViewportOf(this);
    const int wanted = fontMetrics().horizontalAdvance(text()) + kTextRoom;
    if (wanted <= width() || !viewport) return;
    resize(std::min(wanted, viewport->width() - x()), height());
}

CInPlaceList::CInPlaceList(QWidget* parent, int row, int column, const QStringList& choices, int selection)
    : QComboBox(parent), Row(row), Column(column) {
    setObjectName(kEditorName);
    setFont(parent->font());
    setEditable(false);
    setMaxVisibleItems(kListRows);
    addItems(choices);
    setCurrentIndex(selection < count() ? selection : -1);
}

void CInPlaceList::hidePopup() {
    QComboBox::hidePopup();
    if (PopupClosed) PopupClosed();
}

// ---- Delegate ---------------------------------------------------------------------

// Builds the list's editors and turns their keys into the end of an edit: Enter,
// Tab, Shift+Tab and Esc end it here, before a dialog could take them as its own
// (default button, focus chain, cancel); losing the focus ends it as well.
class CEditableListDelegate : public QStyledItemDelegate {
public:
    explicit CEditableListDelegate(CEditableListCtrl* list) : QStyledItemDelegate(list), m_list(list) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        return m_list->CreateEditor(parent, index.row(), index.column());
    }
    // The editors take their text when built; the model never pushes one into them.
    void setEditorData(QWidget*, const QModelIndex&) const override {}
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        if (auto* edit = qobject_cast<QLineEdit*>(editor))
            model->setData(index, edit->text());
        else if (auto* list = qobject_cast<QComboBox*>(editor))
            model->setData(index, list->currentText());
    }
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex&) const override {
        m_list->PlaceEditor(editor, option.rect);
    }

    // Ends the edit of `editor` with `hint`, committing its text unless cancelled.
    void End(QWidget* editor, EndEditHint hint) {
        if (hint != RevertModelCache) emit commitData(editor);
        emit closeEditor(editor, hint);
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* editor = qobject_cast<QWidget*>(object);
        if (!editor || (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride))
            return QStyledItemDelegate::eventFilter(object, event);
        auto* key = static_cast<QKeyEvent*>(event);
        EndEditHint hint = NoHint;
        switch (key->key()) {
        case Qt::Key_Tab:
            hint = key->modifiers() & Qt::ShiftModifier ? EditPreviousItem : EditNextItem;
            break;
        case Qt::Key_Backtab:
            hint = EditPreviousItem;
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            hint = SubmitModelCache;
            break;
        case Qt::Key_Escape:
            hint = RevertModelCache;
            break;
        default:
            return QStyledItemDelegate::eventFilter(object, event);
        }
        event->accept();
        if (event->type() == QEvent::KeyPress) End(editor, hint);
        return true;
    }

private:
    CEditableListCtrl* m_list;
};

// ---- List -------------------------------------------------------------------------

CEditableListCtrl::CEditableListCtrl(QWidget* parent) : QTableWidget(parent) {
    setItemDelegate(new CEditableListDelegate(this));
    setEditTriggers(NoEditTriggers); // edits start only as this list decides
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setTabKeyNavigation(false); // Tab leaves the list for the dialog's next control
    setShowGrid(true);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8); // rows of a report list
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setMinimumSectionSize(0); // a column may be as narrow as its user makes it
    // Scrolling takes the focus, which ends an open edit first.
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()})
        connect(bar, &QAbstractSlider::actionTriggered, this, [this] { setFocus(); });
}

const CEditableListCtrl::ColumnSettings* CEditableListCtrl::Settings(int column) const {
    return column >= 0 && column < kColumnCount ? &m_columns[static_cast<size_t>(column)] : nullptr;
}

void CEditableListCtrl::SetMaxChars(int column, int maxChars) {
    if (Settings(column)) m_columns[static_cast<size_t>(column)].maxChars = std::clamp(maxChars, 0, 255);
}

void CEditableListCtrl::SetColumnFlags(int column, int flags) {
    if (Settings(column)) m_columns[static_cast<size_t>(column)].flags = flags & 0xFF;
}

void CEditableListCtrl::SetChoices(int column, const QStringList& choices) {
    if (Settings(column)) m_columns[static_cast<size_t>(column)].choices = choices;
}

int CEditableListCtrl::MaxChars(int column) const {
    const ColumnSettings* settings = Settings(column);
    return settings ? settings->maxChars : 0;
}

int CEditableListCtrl::ColumnFlags(int column) const {
    const ColumnSettings* settings = Settings(column);
    return settings ? settings->flags : 0;
}

QStringList CEditableListCtrl::Choices(int column) const {
    const ColumnSettings* settings = Settings(column);
    return settings ? settings->choices : QStringList();
}

void CEditableListCtrl::ResetColumns() {
    for (ColumnSettings& column : m_columns) {
        column.maxChars = 0;
        column.flags &= ~kDropDownList;
        column.choices.clear();
    }
}

void CEditableListCtrl::SelectRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    const QModelIndex index = model()->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

CEditableListCtrl::EditorKind CEditableListCtrl::KindOf(int column) const {
    if (MaxChars(column) != 0) return EditorKind::EditBox;
    if (ColumnFlags(column) & kDropDownList) return EditorKind::List;
    return EditorKind::None;
}

bool CEditableListCtrl::EditCell(int row, int column, int direction) {
    if (row < 0 || row >= rowCount()) return false;
    for (int c = column; c >= 0 && c < columnCount();) {
        const EditorKind kind = KindOf(c);
        if (kind != EditorKind::None && (!CanEditCell || CanEditCell(row, c)))
            return StartEditor(row, c, kind);
        if (direction == 1)
            ++c;
        else if (direction == 2)
            --c;
        else
            break;
    }
    return false;
}

bool CEditableListCtrl::StartEditor(int row, int column, EditorKind kind) {
    const QModelIndex index = model()->index(row, column);
    scrollTo(index);
    const int minWidth = kind == EditorKind::EditBox ? kMinEditBoxWidth : kMinListWidth;
    if (isColumnHidden(column) || columnWidth(column) < minWidth) return false;
    m_startKind = kind;
    edit(index);
    m_startKind = EditorKind::None;
    return m_editor != nullptr;
}

QWidget* CEditableListCtrl::CreateEditor(QWidget* parent, int row, int column) {
    const QTableWidgetItem* cell = item(row, column);
    const QString text = cell ? cell->text() : QString();
    auto* delegate = static_cast<CEditableListDelegate*>(itemDelegate());
    QWidget* editor = nullptr;
    if (m_startKind == EditorKind::EditBox) {
        auto* edit = new CInPlaceEdit(parent, row, column, text);
        edit->setMaxLength(MaxChars(column));
        if (ColumnFlags(column) & kDigitsOnly)
            edit->setValidator(
                new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        // Aligned as the column's heading.
        const QTableWidgetItem* header = horizontalHeaderItem(column);
        const Qt::Alignment horizontal =
            Qt::Alignment(header ? header->textAlignment() : int(Qt::AlignLeft)) & Qt::AlignHorizontal_Mask;
        edit->setAlignment(horizontal | Qt::AlignVCenter);
        editor = edit;
    } else if (m_startKind == EditorKind::List) {
        const QStringList choices = Choices(column);
        const qsizetype found = choices.indexOf(text);
        auto* list = new CInPlaceList(parent, row, column, choices, found >= 0 ? int(found) : kDefaultChoice);
        list->PopupClosed = [this, delegate, list] {
            if (m_editor == list) delegate->End(list, QAbstractItemDelegate::NoHint);
        };
        // Opens once it stands in its cell.
        QMetaObject::invokeMethod(
            list,
            [this, list] {
                if (m_editor == list) list->showPopup();
            },
            Qt::QueuedConnection);
        editor = list;
    }
    m_editor = editor;
    return editor;
}

void CEditableListCtrl::PlaceEditor(QWidget* editor, QRect cell) const {
    cell.setLeft(cell.left() + (qobject_cast<QComboBox*>(editor) ? kListIndent : kEditBoxIndent));
    cell.setRight(std::min(cell.right(), viewport()->width() - 1));
    editor->setGeometry(cell);
}

void CEditableListCtrl::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    if (editor != m_editor || !editor) {
        QTableWidget::closeEditor(editor, QAbstractItemDelegate::NoHint);
        return;
    }
    int row = -1, column = -1;
    bool isList = false;
    if (auto* edit = dynamic_cast<CInPlaceEdit*>(editor)) {
        row = edit->Row;
        column = edit->Column;
    } else if (auto* list = dynamic_cast<CInPlaceList*>(editor)) {
        row = list->Row;
        column = list->Column;
        isList = true;
    }
    m_editor = nullptr;
    // The base class gives the focus back to the list; the moves are this list's own.
    QTableWidget::closeEditor(editor, QAbstractItemDelegate::NoHint);
    Ending ending = Ending::Plain;
    switch (hint) {
    case QAbstractItemDelegate::EditNextItem:
        ending = Ending::Tab;
        break;
    case QAbstractItemDelegate::EditPreviousItem:
        ending = Ending::ShiftTab;
        break;
    case QAbstractItemDelegate::SubmitModelCache:
        ending = isList ? Ending::Plain : Ending::Enter; // Enter in the drop-down only ends it
        break;
    case QAbstractItemDelegate::RevertModelCache:
        ending = Ending::Cancelled;
        break;
    default:
        break;
    }
    OnEndLabelEdit(row, column, ending);
}

int CEditableListCtrl::AppendRow() {
    const int row = rowCount();
    insertRow(row);
    return row;
}

void CEditableListCtrl::OnEndLabelEdit(int row, int column, Ending ending) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return;
    const QTableWidgetItem* cell = item(row, column);
    const bool filled = cell && !cell->text().isEmpty();
    const bool lastRow = row == rowCount() - 1;
    switch (ending) {
    case Ending::Enter:
        if (!lastRow) {
            SelectRow(row + 1);
            EditCell(row + 1, column, 1);
        } else if (filled && AutoAppendRow) {
            const int added = AppendRow();
            SelectRow(added);
            EditCell(added, column, 1);
        } else {
            SelectRow(row);
        }
        break;
    case Ending::Tab:
        if (EditCell(row, column + 1, 1)) break;
        if (!lastRow) {
            SelectRow(row + 1);
            EditCell(row + 1, 0, 1);
        } else if (AutoAppendRow) {
            const int added = AppendRow();
            SelectRow(added);
            EditCell(added, 0, 1);
        } else {
            SelectRow(row);
        }
        break;
    case Ending::ShiftTab:
        if (!EditCell(row, column - 1, 2) && row > 0) {
            SelectRow(row - 1);
            EditCell(row - 1, columnCount() - 1, 2);
        }
        break;
    case Ending::Plain:
    case Ending::Cancelled:
        break;
    }
    emit ItemChangedNotice(row, column);
}

int CEditableListCtrl::HitTestCell(const QPoint& point, int* column) const {
    const int row = rowAt(point.y());
    const int c = row < 0 ? -1 : columnAt(point.x());
    if (column) *column = c;
    return c < 0 ? -1 : row;
}

void CEditableListCtrl::mousePressEvent(QMouseEvent* event) {
    // The focused row is the one the user made current; taking the focus makes a row
    // current on its own, which is not the user's choice.
    const int focusedRow =
        currentIndex().isValid() && selectionModel()->isRowSelected(currentRow(), {}) ? currentRow() : -1;
    setFocus(Qt::MouseFocusReason);
    QTableWidget::mousePressEvent(event);
    m_pressRow = -1;
    if (event->button() != Qt::LeftButton) return;
    int column = -1;
    const int row = HitTestCell(event->position().toPoint(), &column);
    if (row < 0) return;
    m_pressRow = row;
    m_pressPoint = event->position().toPoint();
    if (row != focusedRow) {
        SelectRow(row);
        return;
    }
    if (LabelEditing && (!CanEditCell || CanEditCell(row, column))) EditCell(row, column, 0);
}

void CEditableListCtrl::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) {
        QTableWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    if (!m_dragging) {
        // A row pressed and pulled further than a click's wobble starts a drag.
        if (!AllowDrag || m_pressRow < 0 || m_editor ||
            (point - m_pressPoint).manhattanLength() < QApplication::startDragDistance())
            return;
        m_dragRow = m_pressRow;
        m_dragging = true;
        viewport()->setCursor(Qt::DragMoveCursor);
        return;
    }
    // Near the edges the list scrolls by one row.
    const int row = rowAt(point.y());
    const int top = rowAt(0);
    const int bottom = rowAt(viewport()->height() - 1);
    if (row >= 0 && row == top && row > 0)
        scrollTo(model()->index(row - 1, 0));
    else if (row >= 0 && row == bottom && row + 1 < rowCount())
        scrollTo(model()->index(row + 1, 0));
}

void CEditableListCtrl::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_dragging) {
        m_pressRow = -1;
        QTableWidget::mouseReleaseEvent(event);
        return;
    }
    m_dragging = false;
    m_pressRow = -1;
    viewport()->unsetCursor();
    const QPoint point = event->position().toPoint();
    if (viewport()->rect().contains(point)) Drop(point);
}

void CEditableListCtrl::Drop(const QPoint& point) {
    int dragged = m_dragRow;
    m_dragRow = -1;
    if (dragged < 0 || dragged >= rowCount()) return;
    int drop = rowAt(point.y() + kDropRowOffset);
    if (drop < 0) drop = rowCount();
    insertRow(drop);
    if (drop <= dragged) ++dragged;
    // The row moves with its items, so whatever they carry moves along.
    for (int c = 0; c < columnCount(); ++c)
        setItem(drop, c, takeItem(dragged, c));
    removeRow(dragged);
    clearSelection();
    horizontalHeader()->viewport()->update();
    emit ItemChangedNotice(0, -1);
}

namespace {

bool IsEnter(const QKeyEvent* event) {
    return (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat();
}

} // namespace

void CEditableListCtrl::keyPressEvent(QKeyEvent* event) {
    if (IsEnter(event)) m_enterPressed = true;
    QTableWidget::keyPressEvent(event);
}

void CEditableListCtrl::keyReleaseEvent(QKeyEvent* event) {
    QTableWidget::keyReleaseEvent(event);
    // Only an Enter pressed on the list: the release of one that ended an edit
    // arrives here too, once the editor has given the focus back.
    if (!IsEnter(event) || !m_enterPressed) return;
    m_enterPressed = false;
    if (currentIndex().isValid()) EditCell(currentRow(), 0, 1);
}
