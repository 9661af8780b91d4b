#pragma once

#include <functional>
#include <map>
#include <vector>

class CFormView;
class CNfcProgDoc;
class QWidget;

// The main window's view ids: which form its pane shows.
enum FrameViewId : int {
    kViewFormat = 160,
    kViewBookmark = 164,
    kViewText = 165,
    kViewContact = 166,
    kViewSms = 167,
    kViewTelephon = 168,
    kViewMail = 169,
    kViewUri = 170,
    kViewDefault = 171, // the default (status) form; also every id without a form of its own
    kViewLock = 173,
};

// View id -> the form the main window shows for it. A form joins by registering a
// factory under its id (Standard() holds the program's forms); an id without one
// gets the default form (CDefaultView).
class ViewIdTable {
public:
    // Makes a new form for the document as a child of parent (parent owns it).
    using Factory = std::function<CFormView*(CNfcProgDoc* doc, QWidget* parent)>;

    void Register(int viewId, Factory factory);
    template <class Form> void Register(int viewId) {
        Register(viewId,
                 [](CNfcProgDoc* doc, QWidget* parent) -> CFormView* { return new Form(doc, parent); });
    }

    // A new form for viewId: its own, else the default form.
    CFormView* Create(int viewId, CNfcProgDoc* doc, QWidget* parent) const;

    // The ids that have a form of their own, ascending.
    std::vector<int> Ids() const;

    // The program's forms.
    static ViewIdTable Standard();

private:
    std::map<int, Factory> m_factories;
};
