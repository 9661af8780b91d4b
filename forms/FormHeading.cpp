#include "forms/FormHeading.h"

#include "forms/Label.h"

CLabel* CreateFormHeading(QWidget* form, const QString& text, int id) {
    auto* heading = new CLabel(form);
    heading->setObjectName(QString::number(id));
    heading->setWordWrap(true);
    heading->SetText(text);
    return heading;
}

void ApplyFormHeadingFont(CLabel* heading) {
    QFont font = heading->LogFont();
    font.setPointSize(18);
    font.setBold(true);
    heading->SetLogFont(font);
}
