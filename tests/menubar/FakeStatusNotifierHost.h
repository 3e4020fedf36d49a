#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>

// FAKE at the desktop boundary: what a panel does with status items, over the session bus. It reads the
// items registered with the watcher, their status, icon and menu (com.canonical.dbusmenu), and clicks
// menu entries.
class FakeStatusNotifierHost
{
public:
    struct Image
    {
        QSize size;
        QByteArray argb;
        bool operator==(const Image&) const = default;
    };
    struct Item
    {
        QString service;
        QString path;
        QString status;
        QString menuPath;
        QList<Image> icon;
    };
    struct Entry
    {
        int id = 0;
        QString label; // mnemonics as sent ("_" marks one)
        bool separator = false;
        bool enabled = true;
    };

    // Registers this process as a host with the running watcher, under a bus name of its own.
    static bool registerAsHost();

    // The watcher's RegisteredStatusNotifierItems; empty when no watcher answers.
    static QStringList registeredItems();
    // The registered items that the process `pid` serves.
    static QStringList registeredItemsOf(qint64 pid);
    // The connections of the process `pid` that serve a status item, registered or not.
    static QStringList itemConnectionsOf(qint64 pid);

    // The item as registered ("<bus name>" or "<bus name>/<path>"); an empty status when it cannot be read.
    static Item item(const QString& registered);
    // The top level of the item's menu, in order; empty when it cannot be read.
    static QList<Entry> menu(const Item& item);
    static QStringList labels(const Item& item);
    // Sends "clicked" for the entry with this label, as a panel does; false when there is none.
    static bool click(const Item& item, const QString& label);
};

// The fake watcher program, run for one test; stopping it is a panel that goes away.
class FakeStatusNotifierWatcherProcess
{
public:
    enum class Host
    {
        Registered,
        None,
    };
    explicit FakeStatusNotifierWatcherProcess(Host host);
    ~FakeStatusNotifierWatcherProcess();
    FakeStatusNotifierWatcherProcess(const FakeStatusNotifierWatcherProcess&) = delete;
    FakeStatusNotifierWatcherProcess& operator=(const FakeStatusNotifierWatcherProcess&) = delete;

    // True once its name is owned on the bus.
    [[nodiscard]] bool isReady() const { return m_ready; }
    bool stop();

private:
    QProcess m_process;
    bool m_ready = false;
};
