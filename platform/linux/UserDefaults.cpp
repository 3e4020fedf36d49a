#include "platform/UserDefaults.h"

#include <QDir>

// Placeholder: values live in memory only until the file store lands.
UserDefaults& UserDefaults::standardUserDefaults()
{
    static UserDefaults defaults;
    return defaults;
}

void UserDefaults::addSuiteNamed(const QString& suiteName)
{
    m_suite = suiteName;
}

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    m_registered.insert(defaults);
}

QVariant UserDefaults::objectForKey(const QString& key) const
{
    return effectiveValue(key);
}

bool UserDefaults::boolForKey(const QString& key) const
{
    return effectiveValue(key).toBool();
}

QStringList UserDefaults::stringArrayForKey(const QString& key) const
{
    return effectiveValue(key).toStringList();
}

void UserDefaults::setObject(const QVariant& value, const QString& key)
{
    const QVariant old = effectiveValue(key);
    m_pending.insert(key, value);
    Q_EMIT valueChanged(key, value, old);
}

void UserDefaults::setBool(bool value, const QString& key)
{
    setObject(value, key);
}

bool UserDefaults::synchronize()
{
    return true;
}

QString UserDefaults::pathForDomain(const QString& domain)
{
    return QDir::homePath() + QStringLiteral("/Library/Preferences/") + domain + QStringLiteral(".plist");
}

QVariant UserDefaults::effectiveValue(const QString& key) const
{
    if (m_pending.contains(key))
        return m_pending.value(key);
    return m_registered.value(key);
}

void UserDefaults::reload() const {}
