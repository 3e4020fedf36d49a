#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>

// The per-user preferences of one domain, stored as the property list
// "~/Library/Preferences/<domain>.plist". Several processes write the same file: a write locks it,
// re-reads it, merges only the keys this process changed, and replaces the file atomically, so no
// other process's key is lost.
class UserDefaults : public QObject
{
    Q_OBJECT

public:
    // The process's defaults. Until a suite is added (or the process is the domain's own
    // application and calls addSuiteNamed with its own domain), every key reads as absent.
    static UserDefaults& standardUserDefaults();

    // Attaches the shared domain; every later read goes to its stored values.
    void addSuiteNamed(const QString& suiteName);

    // Registered defaults: seen by this process only when a key is not stored, never written.
    void registerDefaults(const QVariantMap& defaults);

    [[nodiscard]] QVariant objectForKey(const QString& key) const;
    [[nodiscard]] bool boolForKey(const QString& key) const; // absent reads as false
    [[nodiscard]] QStringList stringArrayForKey(const QString& key) const;

    // Stores a value (a null QVariant removes the key) and schedules the write to the file for the next
    // turn of the event loop; synchronize() writes it at once. What is still pending when the
    // application quits its event loop, or when the process ends, is written then.
    void setObject(const QVariant& value, const QString& key);
    void setBool(bool value, const QString& key);

    // Writes this process's pending changes (merged with what other processes stored) and re-reads.
    bool synchronize();

    // The file of a domain for the current $HOME.
    static QString pathForDomain(const QString& domain);

Q_SIGNALS:
    // A key's effective value changed through this process (setObject or registerDefaults).
    void valueChanged(const QString& key, const QVariant& newValue, const QVariant& oldValue);

private:
    UserDefaults();
    ~UserDefaults() override;
    [[nodiscard]] QVariant effectiveValue(const QString& key) const;
    void scheduleWrite();

    struct Store;
    std::unique_ptr<Store> m_store;
    QVariantMap m_registered;
    bool m_writeScheduled = false;
    bool m_flushesAtQuit = false;
};
