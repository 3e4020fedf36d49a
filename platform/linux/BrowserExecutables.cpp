#include "platform/linux/BrowserExecutables.h"

#include "platform/SystemRoot.h"

#include <array>

namespace BrowserExecutables {

namespace {

struct Entry
{
    const char* executablePath;
    const char* name;
    const char* bundleIdentifier;
};

constexpr std::array table = {
    Entry{"/usr/lib/chromium/chromium", "Chromium", "org.chromium.Chromium"},
    Entry{"/opt/google/chrome/chrome", "Google Chrome", "com.google.Chrome"},
    Entry{"/usr/lib/firefox-esr/firefox-esr", "Firefox", "org.mozilla.firefox"},
    Entry{"/usr/lib/firefox/firefox", "Firefox", "org.mozilla.firefox"},
    Entry{"/opt/firefox/firefox", "Firefox", "org.mozilla.firefox"},
    Entry{"/usr/lib/x86_64-linux-gnu/opera/opera", "Opera", "com.operasoftware.Opera"},
    Entry{"/opt/opera/opera", "Opera", "com.operasoftware.Opera"},
};

Browser browser(const Entry& entry)
{
    return {SystemRoot::path(QString::fromLatin1(entry.executablePath)), QString::fromLatin1(entry.name),
            QString::fromLatin1(entry.bundleIdentifier)};
}

} // namespace

std::optional<Browser> forExecutable(const QString& executablePath)
{
    for (const Entry& entry : table) {
        if (executablePath == SystemRoot::path(QString::fromLatin1(entry.executablePath)))
            return browser(entry);
    }
    return std::nullopt;
}

std::vector<Browser> withIdentifier(const QString& bundleIdentifier)
{
    std::vector<Browser> browsers;
    for (const Entry& entry : table) {
        if (bundleIdentifier == QLatin1String(entry.bundleIdentifier))
            browsers.push_back(browser(entry));
    }
    return browsers;
}

} // namespace BrowserExecutables
