#include "app/FileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>

QString ShowFileDialog(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(request.mode == FileDialogRequest::Save ? QFileDialog::AcceptSave
                                                                 : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.mode == FileDialogRequest::Save ? QFileDialog::AnyFile
                                                               : QFileDialog::ExistingFile);
    dialog.setNameFilters(request.filters);
    if (request.selectedFilter >= 0 && request.selectedFilter < request.filters.size())
        dialog.selectNameFilter(request.filters[request.selectedFilter]);
    dialog.setDefaultSuffix(request.defaultSuffix);
    const QFileInfo proposed(request.proposedPath);
    if (!request.proposedPath.isEmpty()) dialog.setDirectory(proposed.absolutePath());
    if (!proposed.fileName().contains(QLatin1Char('*'))) dialog.selectFile(proposed.fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

QStringList NameFilters(const QString& pairs) {
    QStringList filters;
    const QStringList parts = pairs.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const QString patterns = parts[i + 1].trimmed();
        if (description.isEmpty() || patterns.isEmpty()) break;
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (open >= 0) description = description.left(open).trimmed();
        QStringList both;
        for (const QString& pattern : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts))
            both << pattern.toLower() << pattern.toUpper();
        both.removeDuplicates();
        filters << description + QStringLiteral(" (") + both.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}
