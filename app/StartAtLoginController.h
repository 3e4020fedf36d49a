#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

// Registers one helper program shipped in the application's bundle to start when the user logs in,
// and reads back whether it is registered. Changes of `enabled` and `startAtLogin` are announced by
// hand: `enabledChanged` when the state read back differs from the last known one, and on every
// register or unregister call both signals, `enabledChanged` first, whether the value changed or not.
class StartAtLoginController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool startAtLogin READ startAtLogin WRITE setStartAtLogin NOTIFY startAtLoginChanged)
    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(QString identifier READ identifier WRITE setIdentifier)
    Q_PROPERTY(QUrl url READ url WRITE setUrl)

public:
    // Unbound: every call does nothing and the state reads false until a bundle is set.
    StartAtLoginController() = default;
    // Bound to the helper bundle at `bundlePath`; reads the state back and writes it to the system log.
    explicit StartAtLoginController(const QString& bundlePath);

    // identifier := the bundle's identifier, url := the bundle's location.
    void setBundle(const QString& bundlePath);

    // Asks the system; updates `enabled` (announcing a change) on the way.
    [[nodiscard]] bool startAtLogin();
    void setStartAtLogin(bool flag);

    [[nodiscard]] bool enabled() const { return m_enabled; }
    void setEnabled(bool flag) { setStartAtLogin(flag); }

    [[nodiscard]] QString identifier() const { return m_identifier; }
    void setIdentifier(const QString& identifier) { m_identifier = identifier; }
    [[nodiscard]] QUrl url() const { return m_url; }
    void setUrl(const QUrl& url) { m_url = url; }

Q_SIGNALS:
    void startAtLoginChanged();
    void enabledChanged();

private:
    QString m_identifier;
    QUrl m_url;
    bool m_enabled = false;
};
