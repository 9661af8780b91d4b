// The editable list: which editor each column gets (and when none), the keys that end
// an edit and where the edit goes next, the drop-down list's first choice, rows
// reordered by dragging, the notice after each edit and drop, and ResetColumns.
#include "forms/EditableListCtrl.h"

#include <QApplication>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

namespace {

constexpr int kColumns = 3;

// A shown window holding the list, filled with `rows` ("a|b|c"), every column an edit
// box unless the test says otherwise.
struct ListBench {
    explicit ListBench(const QStringList& rows, int columns = kColumns) {
        auto* layout = new QVBoxLayout(&window);
        list = new CEditableListCtrl(&window);
        layout->addWidget(list);
        list->LabelEditing = true;
        list->setColumnCount(columns);
        list->setRowCount(int(rows.size()));
        for (int row = 0; row < rows.size(); ++row) {
            const QStringList cells = rows[row].split('|');
            for (int column = 0; column < cells.size(); ++column)
                list->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
        for (int column = 0; column < columns; ++column)
            list->setColumnWidth(column, 80);
        window.resize(400, 400);
        window.show();
        QApplication::setActiveWindow(&window);
        if (!QTest::qWaitForWindowExposed(&window, 2000)) qWarning("window not exposed");
    }

    QPoint CellCenter(int row, int column) const {
        return list->visualRect(list->model()->index(row, column)).center();
    }
    void Click(int row, int column) const {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, CellCenter(row, column));
    }
    // Clicks the cell twice: the first click focuses its row, the second edits it.
    void ClickToEdit(int row, int column) const {
        Click(row, column);
        Click(row, column);
    }
    QString Text(int row, int column) const {
        const QTableWidgetItem* item = list->item(row, column);
        return item ? item->text() : QString();
    }
    QStringList Column(int column) const {
        QStringList texts;
        for (int row = 0; row < list->rowCount(); ++row)
            texts << Text(row, column);
        return texts;
    }
    // Where the open editor edits, (-1, -1) for none.
    std::pair<int, int> EditorCell() const {
        if (auto* edit = dynamic_cast<CInPlaceEdit*>(list->OpenEditor())) return {edit->Row, edit->Column};
        if (auto* choice = dynamic_cast<CInPlaceList*>(list->OpenEditor()))
            return {choice->Row, choice->Column};
        return {-1, -1};
    }

    QWidget window;
    CEditableListCtrl* list;
};

const QStringList kTwoRows = {"a0|b0|c0", "a1|b1|c1"};

} // namespace

class EditableListCtrlTest : public QObject {
    Q_OBJECT
private slots:
    // A click on a cell of the focused row opens the column's editor: the edit box
    // when it has a text limit, else the drop-down list when flagged, else none; too
    // narrow columns get none. The first click only focuses the row.
    void eachColumnGetsItsEditor_data() {
        QTest::addColumn<int>("maxChars");
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("editor"); // "edit", "list" or "none"
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text"); // in the cell after Enter
        const int digits = CEditableListCtrl::kDigitsOnly, list = CEditableListCtrl::kDropDownList;
        QTest::newRow("edit box with a limit") << 3 << 0 << 80 << "edit"
                                               << "abcdef"
                                               << "abc";
        QTest::newRow("digits only") << 10 << digits << 80 << "edit"
                                     << "1a2-3"
                                     << "123";
        QTest::newRow("the edit box wins over the list") << 10 << list << 80 << "edit"
                                                         << "x"
                                                         << "x";
        QTest::newRow("drop-down list") << 0 << list << 80 << "list"
                                        << ""
                                        << "b1";
        QTest::newRow("no editor") << 0 << digits << 80 << "none"
                                   << ""
                                   << "b1";
        QTest::newRow("edit box at 5 px") << 10 << 0 << 5 << "edit"
                                          << "y"
                                          << "y";
        QTest::newRow("edit box under 5 px") << 10 << 0 << 4 << "none"
                                             << ""
                                             << "b1";
        QTest::newRow("list at 10 px") << 0 << list << 10 << "list"
                                       << ""
                                       << "b1";
        QTest::newRow("list under 10 px") << 0 << list << 9 << "none"
                                          << ""
                                          << "b1";
    }
    void eachColumnGetsItsEditor() {
        QFETCH(int, maxChars);
        QFETCH(int, flags);
        QFETCH(int, width);
        QFETCH(QString, editor);
        QFETCH(QString, typed);
        QFETCH(QString, text);
        ListBench bench(kTwoRows);
        bench.list->SetMaxChars(1, maxChars);
        bench.list->SetColumnFlags(1, flags);
        bench.list->SetChoices(1, {"b0", "b1", "b2"});
        bench.list->setColumnWidth(1, width);
        bench.Click(1, 1);
        QVERIFY(!bench.list->OpenEditor());
        QCOMPARE(bench.list->currentRow(), 1);
        bench.Click(1, 1);
        QWidget* open = bench.list->OpenEditor();
        const QString kind = dynamic_cast<CInPlaceEdit*>(open)   ? "edit"
                             : dynamic_cast<CInPlaceList*>(open) ? "list"
                                                                 : "none";
        QCOMPARE(kind, editor);
        if (!open) return;
        QCOMPARE(open->objectName(), QStringLiteral("100"));
        QVERIFY(open->hasFocus());
        if (auto* edit = dynamic_cast<CInPlaceEdit*>(open)) {
            QCOMPARE(edit->text(), QStringLiteral("b1"));
            QCOMPARE(edit->selectedText(), QStringLiteral("b1")); // typing replaces it
        }
        QTest::keyClicks(open, typed);
        QTest::keyClick(open, Qt::Key_Return);
        QCOMPARE(bench.Text(1, 1), text);
    }

    // Where Enter, Tab, Shift+Tab and Esc take the edit, with the rows appended on the
    // way; the text typed is kept (not after Esc) and announced for its cell.
    void keysEndTheEditAndMoveOn_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed"); // replaces the cell's text; "-" types nothing
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("autoAppend");
        QTest::addColumn<int>("readOnlyColumn"); // -1 none
        QTest::addColumn<int>("nextRow");        // of the editor opened, -1 none
        QTest::addColumn<int>("nextColumn");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("text"); // of the edited cell afterwards
        const int enter = Qt::Key_Return, tab = Qt::Key_Tab, backtab = Qt::Key_Backtab, esc = Qt::Key_Escape;
        const int none = Qt::NoModifier, shift = Qt::ShiftModifier;
        QTest::newRow("Enter: same column, next row")
            << 0 << 1 << "x" << enter << none << true << -1 << 1 << 1 << 2 << "x";
        QTest::newRow("Enter on a filled last cell appends")
            << 1 << 1 << "x" << enter << none << true << -1 << 2 << 1 << 3 << "x";
        QTest::newRow("Enter on an empty last cell appends nothing")
            << 1 << 1 << "" << enter << none << true << -1 << -1 << -1 << 2 << "";
        QTest::newRow("Enter without appending")
            << 1 << 1 << "x" << enter << none << false << -1 << -1 << -1 << 2 << "x";
        QTest::newRow("Tab: next column") << 0 << 0 << "x" << tab << none << true << -1 << 0 << 1 << 2 << "x";
        QTest::newRow("Tab skips a column without editor")
            << 0 << 0 << "-" << tab << none << true << 1 << 0 << 2 << 2 << "a0";
        QTest::newRow("Tab at the row's end: next row")
            << 0 << 2 << "-" << tab << none << true << -1 << 1 << 0 << 2 << "c0";
        QTest::newRow("Tab at the end appends, also when empty")
            << 1 << 2 << "" << tab << none << true << -1 << 2 << 0 << 3 << "";
        QTest::newRow("Tab at the end without appending")
            << 1 << 2 << "-" << tab << none << false << -1 << -1 << -1 << 2 << "c1";
        QTest::newRow("Shift+Tab: previous column")
            << 0 << 2 << "x" << backtab << shift << true << -1 << 0 << 1 << 2 << "x";
        QTest::newRow("Shift+Tab at the row's start: previous row's end")
            << 1 << 0 << "-" << backtab << shift << true << -1 << 0 << 2 << 2 << "a1";
        QTest::newRow("Tab with Shift held counts as Shift+Tab")
            << 1 << 0 << "-" << tab << shift << true << -1 << 0 << 2 << 2 << "a1";
        QTest::newRow("Shift+Tab at the first cell stays")
            << 0 << 0 << "x" << backtab << shift << true << -1 << -1 << -1 << 2 << "x";
        QTest::newRow("Esc drops the text")
            << 0 << 1 << "x" << esc << none << true << -1 << -1 << -1 << 2 << "b0";
    }
    void keysEndTheEditAndMoveOn() {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, autoAppend);
        QFETCH(int, readOnlyColumn);
        QFETCH(int, nextRow);
        QFETCH(int, nextColumn);
        QFETCH(int, rows);
        QFETCH(QString, text);
        ListBench bench(kTwoRows);
        bench.list->AutoAppendRow = autoAppend;
        bench.list->SetMaxChars(readOnlyColumn, 0);
        QSignalSpy notices(bench.list, &CEditableListCtrl::ItemChangedNotice);
        bench.ClickToEdit(row, column);
        auto* edit = dynamic_cast<CInPlaceEdit*>(bench.list->OpenEditor());
        QVERIFY(edit);
        if (typed != "-") {
            edit->clear();
            QTest::keyClicks(edit, typed);
        }
        QTest::keyClick(edit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(bench.Text(row, column), text);
        QCOMPARE(bench.EditorCell(), std::make_pair(nextRow, nextColumn));
        QCOMPARE(bench.list->rowCount(), rows);
        if (nextRow >= 0) {
            QCOMPARE(bench.list->currentRow(), nextRow);
            QVERIFY(bench.list->OpenEditor()->hasFocus());
        }
        QCOMPARE(notices.size(), 1);
        QCOMPARE(notices[0], QVariantList({row, column}));
    }

    // The drop-down list opens dropped down on the cell's text among the choices
    // (exact), else on the third choice. Closing it takes its choice and ends the edit
    // there; Enter in the closed list does the same (no move down); Tab moves on.
    void theDropDownList_data() {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QStringList>("choices");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("key");        // 0: the list is closed by a pick
        QTest::addColumn<int>("nextColumn"); // of the editor opened, -1 none
        const QStringList colours = {"rot", "grün", "blau", "gelb"};
        QTest::newRow("among the choices") << "grün" << colours << 1 << 0 << -1;
        QTest::newRow("other case is no match") << "Grün" << colours << 2 << int(Qt::Key_Return) << -1;
        QTest::newRow("fewer than three choices")
            << "lila" << QStringList({"rot", "grün"}) << -1 << int(Qt::Key_Tab) << 2;
    }
    void theDropDownList() {
        QFETCH(QString, cell);
        QFETCH(QStringList, choices);
        QFETCH(int, selected);
        QFETCH(int, key);
        QFETCH(int, nextColumn);
        ListBench bench({"x|" + cell + "|z"});
        bench.list->SetMaxChars(1, 0);
        bench.list->SetColumnFlags(1, CEditableListCtrl::kDropDownList);
        bench.list->SetChoices(1, choices);
        QSignalSpy notices(bench.list, &CEditableListCtrl::ItemChangedNotice);
        bench.ClickToEdit(0, 1);
        auto* list = dynamic_cast<CInPlaceList*>(bench.list->OpenEditor());
        QVERIFY(list);
        QCOMPARE(list->currentIndex(), selected);
        QTRY_VERIFY_WITH_TIMEOUT(list->view()->isVisible(), 2000); // dropped down
        list->setCurrentIndex(0);
        if (key == 0) {
            list->hidePopup(); // the user picked the first choice
        } else {
            list->QComboBox::hidePopup(); // closed without ending the edit
            QTest::keyClick(list, Qt::Key(key));
        }
        QCOMPARE(bench.Text(0, 1), choices[0]);
        QCOMPARE(bench.EditorCell(), std::make_pair(nextColumn < 0 ? -1 : 0, nextColumn));
        QCOMPARE(notices.size(), 1);
        QCOMPARE(notices[0], QVariantList({0, 1}));
    }

    // Enter pressed on the list itself edits its focused row from column 0 on.
    // ResetColumns makes every column read-only (digits-only flags stay); clicks and
    // Enter then start nothing.
    void resetColumnsLeavesNothingToEdit() {
        ListBench bench(kTwoRows);
        bench.list->SetMaxChars(0, 0);
        bench.Click(1, 2);
        QTest::keyClick(bench.list, Qt::Key_Return);
        QCOMPARE(bench.EditorCell(), std::make_pair(1, 1));
        QTest::keyClick(bench.list->OpenEditor(), Qt::Key_Escape);
        bench.list->SetColumnFlags(0, CEditableListCtrl::kDigitsOnly | CEditableListCtrl::kDropDownList);
        bench.list->SetChoices(0, {"a"});
        bench.list->SetMaxChars(32, 7);
        bench.list->ResetColumns();
        for (int column = 0; column < CEditableListCtrl::kColumnCount; ++column) {
            QCOMPARE(bench.list->MaxChars(column), 0);
            QCOMPARE(bench.list->Choices(column), QStringList());
        }
        QCOMPARE(bench.list->ColumnFlags(0), CEditableListCtrl::kDigitsOnly);
        bench.ClickToEdit(0, 1);
        QTest::keyClick(bench.list, Qt::Key_Return);
        QVERIFY(!bench.list->OpenEditor());
        QCOMPARE(bench.Text(0, 1), QStringLiteral("b0"));
    }

    // A row dragged onto another lands before it, one dragged below the last row goes
    // to the end; its cells move with all they carry, the parent is told (0, -1). A
    // release outside the list, or a list that allows no dragging, moves nothing.
    void rowsAreReorderedByDragging_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("onto"); // a row, or -1 for the empty space below the rows, -2 outside
        QTest::addColumn<bool>("allowDrag");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("down") << 0 << 3 << true << QStringList({"r1", "r2", "r0", "r3", "r4"});
        QTest::newRow("up") << 4 << 1 << true << QStringList({"r0", "r4", "r1", "r2", "r3"});
        QTest::newRow("below the rows") << 1 << -1 << true << QStringList({"r0", "r2", "r3", "r4", "r1"});
        QTest::newRow("outside the list") << 1 << -2 << true << QStringList({"r0", "r1", "r2", "r3", "r4"});
        QTest::newRow("dragging not allowed")
            << 0 << 3 << false << QStringList({"r0", "r1", "r2", "r3", "r4"});
    }
    void rowsAreReorderedByDragging() {
        QFETCH(int, from);
        QFETCH(int, onto);
        QFETCH(bool, allowDrag);
        QFETCH(QStringList, order);
        ListBench bench({"r0|v0", "r1|v1", "r2|v2", "r3|v3", "r4|v4"}, 2);
        bench.list->ResetColumns();
        bench.list->AllowDrag = allowDrag;
        for (int row = 0; row < 5; ++row)
            bench.list->item(row, 0)->setData(Qt::UserRole, row);
        QSignalSpy notices(bench.list, &CEditableListCtrl::ItemChangedNotice);

        QWidget* viewport = bench.list->viewport();
        const QPoint start = bench.CellCenter(from, 0);
        QPoint target;
        if (onto >= 0)
            target = QPoint(start.x(), bench.list->rowViewportPosition(onto) + 1);
        else if (onto == -1)
            target = QPoint(start.x(), viewport->height() - 5);
        else
            target = QPoint(start.x(), viewport->height() + 50);
        QTest::mousePress(viewport, Qt::LeftButton, {}, start);
        QTest::mouseMove(viewport, start + QPoint(0, QApplication::startDragDistance() + 2));
        QCOMPARE(bench.list->DraggedRow(), allowDrag ? from : -1);
        QTest::mouseMove(viewport, target);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, target);
        QCOMPARE(bench.list->DraggedRow(), -1);

        QCOMPARE(bench.Column(0), order);
        for (int row = 0; row < 5; ++row) { // each row kept its value and data
            const int was = bench.Text(row, 0).mid(1).toInt();
            QCOMPARE(bench.Text(row, 1), "v" + QString::number(was));
            QCOMPARE(bench.list->item(row, 0)->data(Qt::UserRole).toInt(), was);
        }
        const bool moved = allowDrag && onto != -2;
        QCOMPARE(notices.size(), moved ? 1 : 0);
        if (moved) QCOMPARE(notices[0], QVariantList({0, -1}));
        QVERIFY(!bench.list->OpenEditor());
    }
};

QTEST_MAIN(EditableListCtrlTest)
#include "EditableListCtrlTest.moc"
