#pragma once

#include <QByteArray>
#include <QString>

// A private home folder for the fuzz targets that read files at their fixed places.
namespace FuzzHome {

// Makes a temporary folder and points HOME at it; the same folder on every call, removed at exit.
QString path();

// Replaces the file at `path` with `bytes`, creating its folders; false when it could not.
bool write(const QString& path, const QByteArray& bytes);

} // namespace FuzzHome
