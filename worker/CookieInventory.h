#pragma once

#include "platform/HttpCookieStorage.h"

#include <QList>
#include <QString>
#include <QVariantMap>

// One cookie listed for deletion, with the store it was read from, so that it is deleted there
// and nowhere else.
struct CookieRecord
{
    QString database;  // the cookie database; empty for a cookie of Safari's jar
    qint64 rowId = 0;  // the row in the database
    QVariantMap row;   // the host and "name" columns of the row, as text
    HttpCookie cookie; // the cookie of Safari's jar
};

// The cookies of one browser sorted for a pass.
struct CookieInventory
{
    qint64 cookieCount = 0;   // distinct cookies in the deletion list
    qint64 trackingCount = 0; // cookies with a tracking name, favourite sites included
    QList<CookieRecord> deletionList;
};
