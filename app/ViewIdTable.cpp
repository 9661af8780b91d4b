#include "app/ViewIdTable.h"

#include "forms/BookmarkView.h"
#include "forms/ContactView.h"
#include "forms/DefaultView.h"
#include "forms/MailView.h"
#include "forms/NfcFormatView.h"
#include "forms/ReadOnlyFormView.h"
#include "forms/SmsView.h"
#include "forms/TelephonView.h"
#include "forms/TextView.h"
#include "forms/UriView.h"

void ViewIdTable::Register(int viewId, Factory factory) {
    m_factories[viewId] = std::move(factory);
}

CFormView* ViewIdTable::Create(int viewId, CNfcProgDoc* doc, QWidget* parent) const {
    auto found = m_factories.find(viewId);
    if (found == m_factories.end()) found = m_factories.find(kViewDefault);
    if (found != m_factories.end()) return found->second(doc, parent);
    return new CDefaultView(doc, parent);
}

std::vector<int> ViewIdTable::Ids() const {
    std::vector<int> ids;
    for (const auto& entry : m_factories)
        ids.push_back(entry.first);
    return ids;
}

ViewIdTable ViewIdTable::Standard() {
    ViewIdTable table;
    table.Register<CNfcFormatView>(kViewFormat);
    table.Register<CBookmarkView>(kViewBookmark);
    table.Register<CTextView>(kViewText);
    table.Register<CContactView>(kViewContact);
    table.Register<CSmsView>(kViewSms);
    table.Register<CTelephonView>(kViewTelephon);
    table.Register<CMailView>(kViewMail);
    table.Register<CUriView>(kViewUri);
    table.Register<CDefaultView>(kViewDefault);
    table.Register<CReadOnlyFormView>(kViewLock);
    return table;
}
