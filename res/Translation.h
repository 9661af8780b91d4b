#pragma once

#include <QString>
#include <QTranslator>

#include <memory>

// The English translation of the program: "<program base name>Eng.qm" in the
// program's folder, or, for an installed program, in share/kq-nfc-programmer of its
// tree (German is the source language and needs no file). The
// application loads it at start when "Settings"/"Sprache" > 0 and installs it
// with QCoreApplication::installTranslator, keeping ownership.

// The file looked for: /opt/kq/bin/kq-nfc-programmer -> /opt/kq/bin/kq-nfc-programmerEng.qm,
// or /opt/kq/share/kq-nfc-programmer/kq-nfc-programmerEng.qm when only that exists.
QString EnglishTranslationFile(const QString& programFilePath);

// Loads that file; nullptr when it is missing or unreadable (German stays in use).
std::unique_ptr<QTranslator> LoadEnglishTranslation(const QString& programFilePath);

// Qt's own German texts (the buttons of message boxes, the file dialog), so that a
// German program does not ask "Yes"/"No". Null when the system has no such file;
// Qt's English texts then stay.
std::unique_ptr<QTranslator> LoadQtGermanTranslation();
