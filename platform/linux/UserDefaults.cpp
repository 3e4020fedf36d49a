#include "platform/UserDefaults.h"

#include "PreferencesFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <optional>
#include <utility>

// The attached domain: its file, the values last read from it, and the changes of this process
// that are not written yet.
struct UserDefaults::Store
{
    std::optional<PreferencesFile> file;
    QVariantMap stored;
    QVariantMap pending;

    const QVariantMap& current()
    {
        if (file && file->changedOnDisk()) {
            if (auto values = file->read())
                stored = std::move(*values);
        }
        return stored;
    }
};

UserDefaults::UserDefaults() : m_store(std::make_unique<Store>()) {}

// A process that ends without returning from its event loop still keeps its last changes.
UserDefaults::~UserDefaults()
{
    if (!m_store->pending.isEmpty())
        (void)synchronize();
}

UserDefaults& UserDefaults::standardUserDefaults()
{
    static UserDefaults defaults;
    return defaults;
}

QString UserDefaults::pathForDomain(const QString& domain)
{
    return QDir::homePath() + QStringLiteral("/Library/Preferences/") + domain + QStringLiteral(".plist");
}

void UserDefaults::addSuiteNamed(const QString& suiteName)
{
    if (m_store->file && m_store->file->path() == pathForDomain(suiteName))
        return;
    m_store->file.emplace(pathForDomain(suiteName));
    m_store->stored = m_store->file->read().value_or(QVariantMap());
    m_store->pending.clear();
}

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    for (auto it = defaults.begin(); it != defaults.end(); ++it) {
        const QVariant old = effectiveValue(it.key());
        m_registered.insert(it.key(), it.value());
        const QVariant now = effectiveValue(it.key());
        if (now != old)
            Q_EMIT valueChanged(it.key(), now, old);
    }
}

QVariant UserDefaults::effectiveValue(const QString& key) const
{
    if (m_store->pending.contains(key))
        return m_store->pending.value(key);
    const QVariantMap& stored = m_store->current();
    const auto found = stored.constFind(key);
    if (found != stored.constEnd())
        return *found;
    return m_registered.value(key);
}

QVariant UserDefaults::objectForKey(const QString& key) const
{
    return effectiveValue(key);
}

bool UserDefaults::boolForKey(const QString& key) const
{
    const QVariant value = effectiveValue(key);
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
        return value.toBool();
    case QMetaType::QString:
        // Stored text reads as true only for the usual spellings of yes.
        return value.toString().compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0 ||
               value.toString().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
               value.toString().toLongLong() != 0;
    default:
        return false;
    }
}

QStringList UserDefaults::stringArrayForKey(const QString& key) const
{
    const QVariant value = effectiveValue(key);
    if (value.typeId() != QMetaType::QVariantList && value.typeId() != QMetaType::QStringList)
        return {};
    QStringList strings;
    const QVariantList items = value.toList();
    for (const QVariant& item : items) {
        if (item.typeId() != QMetaType::QString)
            return {};
        strings.append(item.toString());
    }
    return strings;
}

void UserDefaults::setObject(const QVariant& value, const QString& key)
{
    const QVariant old = effectiveValue(key);
    m_store->pending.insert(key, value);
    scheduleWrite();
    Q_EMIT valueChanged(key, effectiveValue(key), old);
}

void UserDefaults::setBool(bool value, const QString& key)
{
    setObject(value, key);
}

void UserDefaults::scheduleWrite()
{
    if (m_writeScheduled)
        return;
    m_writeScheduled = true;
    QTimer::singleShot(0, this, [this] { (void)synchronize(); });
    // A change made just before quitting would wait for a turn of the event loop that never comes.
    if (!m_flushesAtQuit && QCoreApplication::instance()) {
        m_flushesAtQuit = true;
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
            if (!m_store->pending.isEmpty())
                (void)synchronize();
        });
    }
}

bool UserDefaults::synchronize()
{
    m_writeScheduled = false;
    if (!m_store->file)
        return false;
    if (m_store->pending.isEmpty()) {
        (void)m_store->current();
        return true;
    }
    const auto written = m_store->file->write(m_store->pending);
    if (!written)
        return false;
    m_store->pending.clear();
    m_store->stored = *written;
    return true;
}
