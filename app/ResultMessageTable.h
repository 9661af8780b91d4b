#pragma once

#include <QString>

// The text the main window shows for the result of a tag operation (state, message
// index, extra number, extra text, as the tag-operation engine keeps them). State -1
// (nothing to show) gives an empty text, state 0 the index's success text, any other
// state its error text; an index without a text of that kind gives the general
// "Aktion erfolgreich ausgeführt!" or "Unbekannter Fehler aufgetreten!".
//
// readerName fills "%s verbunden!" (index 4); cyclicJobRunning turns "Kein
// Transponder!" (index 13) into "Bitte Transponder auflegen!".
QString ResultMessageText(int state, int index, int extraNumber, const QString& extraText,
                          const QString& readerName, bool cyclicJobRunning);
