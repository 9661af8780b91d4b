#pragma once

#include <QByteArray>
#include <QString>

// Template and data-list files: read as UTF-8 when they are valid UTF-8 (a leading
// byte order mark is dropped), else as Windows-1252, the code page of files made
// by the Windows program. They are written as UTF-8 (QString::toUtf8).
QString DecodeTextFile(const QByteArray& bytes);
