#pragma once

#include <QAbstractItemDelegate>
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <QTableWidget>

#include <array>
#include <functional>

// The short-lived editors of one cell. Each knows its cell; both are id 100.
class CInPlaceEdit : public QLineEdit {
public:
    CInPlaceEdit(QWidget* parent, int row, int column, const QString& text);
    const int Row;
    const int Column;

private:
    // Widens the box to the text when it grows, up to the right edge of the list.
    void FitText();
};

class CInPlaceList : public QComboBox {
public:
    CInPlaceList(QWidget* parent, int row, int column, const QStringList& choices, int selection);
    void hidePopup() override;
    const int Row;
    const int Column;
    // Runs when the drop-down closes: that ends the edit.
    std::function<void()> PopupClosed;
};

// A list of rows and columns whose cells are edited in place, one editor at a time.
// Each column has its editor: none, an edit box (with a text limit, digits only when
// asked) or a drop-down list of choices. While editing, Enter moves down (appending
// an empty row after a filled last cell), Tab moves right and on to the next row
// (appending one at the end), Shift+Tab moves left and up, Esc drops the edit; a
// click on the cell of the focused row edits it (with label editing on), Enter on the
// list edits the focused row. Rows are reordered by dragging them with the mouse.
//
// After each edit and after each drop the list emits ItemChangedNotice: (row, column)
// of the edited cell, (0, -1) after a drop.
class CEditableListCtrl : public QTableWidget {
    Q_OBJECT
public:
    static constexpr int kColumnCount = 33; // columns with settings: 0..32
    // Column flags.
    static constexpr int kDigitsOnly = 0x01;
    static constexpr int kDropDownList = 0x02;
    // Columns narrower than these are not edited.
    static constexpr int kMinEditBoxWidth = 5;
    static constexpr int kMinListWidth = 10;
    // The choice a drop-down list opens with when the cell's text is none of them.
    static constexpr int kDefaultChoice = 2;
    // The editors' id (object name "100").
    static constexpr int kEditorId = 100;

    explicit CEditableListCtrl(QWidget* parent = nullptr);

    // Per column (0..32; others are ignored, and read as 0 / empty). MaxChars 0: no edit
    // box, else its text limit (255 when built); flags kDigitsOnly, kDropDownList (0
    // when built); the drop-down list's choices (none when built).
    void SetMaxChars(int column, int maxChars);
    void SetColumnFlags(int column, int flags);
    void SetChoices(int column, const QStringList& choices);
    int MaxChars(int column) const;
    int ColumnFlags(int column) const;
    QStringList Choices(int column) const;

    // No column is editable any more: MaxChars 0, the drop-down flag cleared (digits
    // only kept), no choices. Dragging still reorders rows.
    void ResetColumns();

    // Asked before a cell is edited; none: every cell may be.
    std::function<bool(int row, int column)> CanEditCell;
    bool AllowDrag = true;
    bool AutoAppendRow = true;
    // Clicks on the focused row edit the clicked cell (off when built).
    bool LabelEditing = false;

    // Makes `row` the only selected and the focused row and scrolls it into view.
    void SelectRow(int row);
    // Starts the first editor found from `column` on: direction 1 looks right, 2 left,
    // anything else only at `column`. True when an editor was started.
    bool EditCell(int row, int column, int direction);
    // The row under `point` (viewport coordinates) and, in `column`, its column; -1
    // when there is none.
    int HitTestCell(const QPoint& point, int* column) const;

    // The editor open now, or null.
    QWidget* OpenEditor() const { return m_editor; }
    // The row being dragged, -1 when none.
    int DraggedRow() const { return m_dragging ? m_dragRow : -1; }

signals:
    void ItemChangedNotice(int row, int column);

protected:
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    friend class CEditableListDelegate;
    enum class Ending { Plain, Cancelled, Enter, Tab, ShiftTab };
    enum class EditorKind { None, EditBox, List };

    struct ColumnSettings {
        int maxChars = 255;
        int flags = 0;
        QStringList choices;
    };

    EditorKind KindOf(int column) const;
    bool StartEditor(int row, int column, EditorKind kind);
    // For the delegate: the editor of the cell, and where it goes.
    QWidget* CreateEditor(QWidget* parent, int row, int column);
    void PlaceEditor(QWidget* editor, QRect cell) const;
    void OnEndLabelEdit(int row, int column, Ending ending);
    int AppendRow();
    void Drop(const QPoint& point);
    const ColumnSettings* Settings(int column) const;

    std::array<ColumnSettings, kColumnCount> m_columns;
    QWidget* m_editor = nullptr;
    EditorKind m_startKind = EditorKind::None;
    // Drag and drop of rows.
    int m_pressRow = -1;
    QPoint m_pressPoint;
    int m_dragRow = -1;
    bool m_dragging = false;
    bool m_enterPressed = false; // on the list itself
};
