#pragma once

#include <QColor>
#include <QString>

class CUpdateCheck;

// The About box's update status line, from the checker's result: the text (strings
// 600-603 with the program's title), its colour, and whether a click on it starts
// the update (only when a newer version is offered). Without an update server (the
// default build) the line stays empty.
struct UpdateStatus {
    enum class Kind { NoServer, NoConnection, NoFile, Newer, Current };
    Kind kind;
    QString text;
    QColor color;
    bool clickable;
};

UpdateStatus DescribeUpdateStatus(const CUpdateCheck& check, const QString& localVersion,
                                  const QString& localBuild);
