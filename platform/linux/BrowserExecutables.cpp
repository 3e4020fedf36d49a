#include "platform/linux/BrowserExecutables.h"

#include "platform/SystemRoot.h"

#include <QDir>

#include <array>

namespace BrowserExecutables {

namespace {

enum class Kind
{
    Program,  // the browser's own program: its processes are the browser
    Launcher, // a program that only starts the browser: shows where it is installed
    Flatpak,  // the launcher Flatpak exports, named by the application's identifier; it also
              // stands for the browser's programs, which run in the application's sandbox
};

// Paths starting with "/" lie under the system root, with "~/" in the home folder. A "*" stands
// for one path component of any name (a Snap revision).
struct Entry
{
    const char* executablePath;
    const char* name;
    const char* bundleIdentifier;
    Kind kind = Kind::Program;
};

constexpr std::array table = {
    Entry{"/usr/lib/chromium/chromium", "Chromium", "org.chromium.Chromium"},
    Entry{"/snap/chromium/*/usr/lib/chromium-browser/chrome", "Chromium", "org.chromium.Chromium"},
    Entry{"/snap/bin/chromium", "Chromium", "org.chromium.Chromium", Kind::Launcher},
    Entry{"/var/lib/flatpak/exports/bin/org.chromium.Chromium", "Chromium", "org.chromium.Chromium",
          Kind::Flatpak},
    Entry{"~/.local/share/flatpak/exports/bin/org.chromium.Chromium", "Chromium", "org.chromium.Chromium",
          Kind::Flatpak},
    Entry{"/opt/google/chrome/chrome", "Google Chrome", "com.google.Chrome"},
    Entry{"/var/lib/flatpak/exports/bin/com.google.Chrome", "Google Chrome", "com.google.Chrome",
          Kind::Flatpak},
    Entry{"~/.local/share/flatpak/exports/bin/com.google.Chrome", "Google Chrome", "com.google.Chrome",
          Kind::Flatpak},
    Entry{"/usr/lib/firefox-esr/firefox-esr", "Firefox", "org.mozilla.firefox"},
    Entry{"/usr/lib/firefox/firefox", "Firefox", "org.mozilla.firefox"},
    Entry{"/opt/firefox/firefox", "Firefox", "org.mozilla.firefox"},
    Entry{"/snap/firefox/*/usr/lib/firefox/firefox", "Firefox", "org.mozilla.firefox"},
    Entry{"/snap/bin/firefox", "Firefox", "org.mozilla.firefox", Kind::Launcher},
    Entry{"/var/lib/flatpak/exports/bin/org.mozilla.firefox", "Firefox", "org.mozilla.firefox",
          Kind::Flatpak},
    Entry{"~/.local/share/flatpak/exports/bin/org.mozilla.firefox", "Firefox", "org.mozilla.firefox",
          Kind::Flatpak},
    Entry{"/usr/lib/x86_64-linux-gnu/opera/opera", "Opera", "com.operasoftware.Opera"},
    Entry{"/opt/opera/opera", "Opera", "com.operasoftware.Opera"},
};

QString located(const char* path)
{
    const QString text = QString::fromLatin1(path);
    if (text.startsWith(QLatin1String("~/")))
        return QDir::homePath() + text.mid(1);
    return SystemRoot::path(text);
}

// True when `path` is the pattern with each "*" standing for one component.
bool matches(const QString& pattern, const QString& path)
{
    const QStringList want = pattern.split(QLatin1Char('/'));
    const QStringList have = path.split(QLatin1Char('/'));
    if (want.size() != have.size())
        return false;
    for (qsizetype i = 0; i < want.size(); ++i) {
        if (want[i] == QLatin1String("*") ? have[i].isEmpty() || have[i] == QLatin1String("..")
                                          : want[i] != have[i])
            return false;
    }
    return true;
}

Browser browser(const Entry& entry, const QString& executablePath)
{
    return {executablePath, QString::fromLatin1(entry.name), QString::fromLatin1(entry.bundleIdentifier),
            entry.kind == Kind::Flatpak};
}

bool isUserInstall(const Entry& entry)
{
    return entry.executablePath[0] == '~';
}

} // namespace

std::optional<Browser> forExecutable(const QString& executablePath)
{
    for (const Entry& entry : table) {
        if (entry.kind == Kind::Program && matches(located(entry.executablePath), executablePath))
            return browser(entry, executablePath);
    }
    return std::nullopt;
}

std::optional<Browser> forFlatpak(const QString& application, const QString& appPath)
{
    const bool userInstall = appPath.startsWith(QDir::homePath() + QLatin1Char('/'));
    std::optional<Browser> found;
    for (const Entry& entry : table) {
        const QString path = located(entry.executablePath);
        if (entry.kind != Kind::Flatpak || path.section(QLatin1Char('/'), -1) != application)
            continue;
        if (isUserInstall(entry) == userInstall)
            return browser(entry, path);
        if (!found)
            found = browser(entry, path);
    }
    return found;
}

std::optional<Browser> forApplicationPath(const QString& applicationPath)
{
    for (const Entry& entry : table) {
        const QString path = located(entry.executablePath);
        if ((entry.kind == Kind::Program && matches(path, applicationPath)) ||
            (entry.kind == Kind::Flatpak && path == applicationPath))
            return browser(entry, applicationPath);
    }
    return std::nullopt;
}

std::vector<Browser> withIdentifier(const QString& bundleIdentifier)
{
    std::vector<Browser> browsers;
    for (const Entry& entry : table) {
        const QString path = located(entry.executablePath);
        // A pattern names no one program; the install it stands for also has a launcher.
        if (bundleIdentifier == QLatin1String(entry.bundleIdentifier) && !path.contains(QLatin1Char('*')))
            browsers.push_back(browser(entry, path));
    }
    return browsers;
}

} // namespace BrowserExecutables
