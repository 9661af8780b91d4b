#pragma once

#include <QIcon>
#include <QPixmap>

// The program's pictures, drawn by the program itself: the toolbar buttons (by the
// view or command they stand for), the language and exit buttons, the four result
// icons and the About box's logo.
enum class KqIconId {
    ReadTag,       // 172 "Transponder lesen"
    Bookmark,      // 164 web address
    Text,          // 165
    Contact,       // 166
    Sms,           // 167
    Telephon,      // 168
    Mail,          // 169
    Format,        // 160
    Lock,          // 173
    German,        // 176
    English,       // 175
    Exit,          // 181
    ResultNeutral, // 179
    ResultSuccess, // 177
    ResultError,   // 178
    ResultWaiting, // 180
    Logo,          // the About box's picture, on white (white is its transparent colour)
};

// The picture at size x size pixels (transparent background, except the logo).
QPixmap KqPixmap(KqIconId id, int size);
// The picture as an icon, drawn at 16, 24, 32, 48 and 64 pixels.
QIcon KqIcon(KqIconId id);
