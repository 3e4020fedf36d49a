#pragma once

#include <QString>

// The suite's bundle layout built in a test folder, so that a test sees exactly which program was
// started: "<folder>/Veltrane.app" whose own program and menu-bar agent are fake applications, whose
// daemon is a fake or the built one, and whose login helper is a copy of the built helper (a copy,
// not a link, so that it finds its siblings in this bundle).
namespace SuiteBundle {

enum class Daemon
{
    Fake,
    Built,
};

// The main bundle's path; empty when it could not be made.
QString make(const QString& folder, Daemon daemon);

QString daemon(const QString& suite);
QString menuBar(const QString& suite);
QString helper(const QString& suite);

} // namespace SuiteBundle
