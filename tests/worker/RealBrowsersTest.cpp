// The real browsers of this machine, headless on loopback pages: a browser sets cookies and quits,
// the worker cleans, the browser starts again and must send only the favourite site's non-tracking
// cookie. Skipped where the browsers are not installed.
#include "Sandbox.h"
#include "TestKeyring.h"
#include "worker/Sqlite.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString chromiumProgram = QStringLiteral("/usr/bin/chromium");
const QString firefoxProgram = QStringLiteral("/usr/bin/firefox-esr");

// A web server on 127.0.0.1 that sets a plain and a tracking cookie on "/set" and writes down the
// cookies each host sends on "/check".
class CookieServer : public QObject
{
public:
    CookieServer()
    {
        (void)m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    [[nodiscard]] quint16 port() const { return m_server.serverPort(); }
    [[nodiscard]] QString url(const QString& host, const QString& path) const
    {
        return QStringLiteral("http://%1:%2%3").arg(host).arg(port()).arg(path);
    }
    // host -> the Cookie header of its last "/check" (empty text when none was sent).
    [[nodiscard]] const QHash<QString, QString>& checked() const { return m_checked; }
    [[nodiscard]] int pagesServed() const { return m_pages; }

private:
    void answer(QTcpSocket* socket)
    {
        QByteArray& request = m_requests[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        const QList<QByteArray> lines = request.split('\n');
        const QByteArray path = lines.first().split(' ').value(1);
        QString host;
        QString cookie;
        for (const QByteArray& line : lines) {
            const QByteArray trimmed = line.trimmed();
            if (trimmed.toLower().startsWith("host:"))
                host = QString::fromLatin1(trimmed.mid(5).trimmed()).section(QLatin1Char(':'), 0, 0);
            else if (trimmed.toLower().startsWith("cookie:"))
                cookie = QString::fromLatin1(trimmed.mid(7).trimmed());
        }
        m_requests.remove(socket);
        QByteArray response;
        const QByteArray page = "<html><body>ok</body></html>";
        if (path == "/set") {
            response = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                       "Set-Cookie: session=1; Max-Age=86400; Path=/\r\n"
                       "Set-Cookie: UIDtrack=2; Max-Age=86400; Path=/\r\n";
            ++m_pages;
        } else if (path == "/check") {
            QStringList sent = cookie.split(QLatin1String("; "), Qt::SkipEmptyParts);
            sent.sort();
            m_checked.insert(host, sent.join(QLatin1Char(' ')));
            response = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n";
            ++m_pages;
        } else {
            socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            socket->disconnectFromHost();
            return;
        }
        socket->write(response + "Content-Length: " + QByteArray::number(page.size()) +
                      "\r\nConnection: close\r\n\r\n" + page);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_requests;
    QHash<QString, QString> m_checked;
    int m_pages = 0;
};

bool waitForPages(const CookieServer& server, int pages, QProcess& browser)
{
    QElapsedTimer clock;
    clock.start();
    while (server.pagesServed() < pages && clock.elapsed() < 60000 && browser.state() != QProcess::NotRunning)
        QTest::qWait(50);
    return server.pagesServed() >= pages;
}

// Chromium, headless, on one page; it quits through its own shutdown (DevTools "Browser.close"
// over the pipe on descriptors 3 and 4): a signal would lose the cookies it has not yet written.
bool runChromium(const Sandbox& sandbox, CookieServer& server, const QString& url)
{
    int commands[2];
    int replies[2];
    if (pipe2(commands, O_CLOEXEC) != 0 || pipe2(replies, O_CLOEXEC) != 0)
        return false;
    QProcess browser;
    browser.setProcessEnvironment(sandbox.environment());
    browser.setChildProcessModifier([commands, replies] {
        dup2(commands[0], 3);
        dup2(replies[1], 4);
    });
    const int pages = server.pagesServed() + 1;
    browser.start(
        chromiumProgram,
        {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
         QStringLiteral("--no-first-run"), QStringLiteral("--disable-background-networking"),
         QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
         QStringLiteral("--remote-debugging-pipe"),
         QStringLiteral("--user-data-dir=") + sandbox.homePath(QStringLiteral(".config/chromium")), url});
    close(commands[0]);
    close(replies[1]);
    const bool served = browser.waitForStarted() && waitForPages(server, pages, browser);
    QTest::qWait(500);
    const char request[] = "{\"id\":1,\"method\":\"Browser.close\"}";
    (void)write(commands[1], request, sizeof request); // with its terminating NUL
    const bool ended = browser.waitForFinished(60000);
    ::close(commands[1]);
    ::close(replies[0]);
    if (!ended) {
        browser.kill();
        browser.waitForFinished();
    }
    return served && ended;
}

// One Marionette message: "<length>:<json>", the length in bytes of the JSON text.
QJsonValue marionetteReply(QTcpSocket& socket)
{
    QByteArray buffer;
    while (!buffer.contains(':') && buffer.size() < 16 &&
           (socket.bytesAvailable() || socket.waitForReadyRead(10000)))
        buffer += socket.read(1);
    const qsizetype colon = buffer.indexOf(':');
    if (colon < 0)
        return {};
    const qsizetype length = buffer.left(colon).toLongLong();
    QByteArray body = buffer.mid(colon + 1);
    while (body.size() < length && (socket.bytesAvailable() || socket.waitForReadyRead(10000)))
        body += socket.read(length - body.size());
    const QJsonDocument document = QJsonDocument::fromJson(body);
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

bool marionetteCommand(QTcpSocket& socket, int id, const QString& name, const QJsonObject& parameters)
{
    const QByteArray body = QJsonDocument(QJsonArray{0, id, name, parameters}).toJson(QJsonDocument::Compact);
    socket.write(QByteArray::number(body.size()) + ':' + body);
    const QJsonArray reply = marionetteReply(socket).toArray();
    return reply.size() == 4 && reply.at(1).toInt() == id && reply.at(2).isNull();
}

// Firefox's own quit, asked over its remote-control port (Marionette, port written by Firefox into
// "MarionetteActivePort" of the profile): a signal would lose the cookies it has not yet written, and
// a page closing its own window leaves Firefox running whenever another tab has opened beside it.
bool quitFirefox(const QString& profile)
{
    QFile portFile(profile + QStringLiteral("/MarionetteActivePort"));
    if (!portFile.open(QIODevice::ReadOnly))
        return false;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, portFile.readAll().trimmed().toUShort());
    return socket.waitForConnected(10000) && marionetteReply(socket).isObject() &&
           marionetteCommand(socket, 1, QStringLiteral("WebDriver:NewSession"), {}) &&
           marionetteCommand(socket, 2, QStringLiteral("Marionette:Quit"),
                             {{QStringLiteral("flags"), QJsonArray{QStringLiteral("eAttemptQuit")}}});
}

// Firefox, headless, on one page of its profile, quit once the page has been served.
bool runFirefox(const Sandbox& sandbox, CookieServer& server, const QString& profile, const QString& url)
{
    QProcess browser;
    browser.setProcessEnvironment(sandbox.environment());
    const int pages = server.pagesServed() + 1;
    QFile::remove(profile + QStringLiteral("/MarionetteActivePort"));
    browser.start(firefoxProgram, {QStringLiteral("--headless"), QStringLiteral("--marionette"),
                                   QStringLiteral("--profile"), profile, url});
    const bool served = browser.waitForStarted() && waitForPages(server, pages, browser);
    QTest::qWait(500);
    const bool asked = served && quitFirefox(profile);
    const bool ended = browser.waitForFinished(60000);
    if (!ended) {
        browser.kill();
        browser.waitForFinished();
    }
    if (!served || !asked || !ended)
        qWarning("Firefox on %s: page served %d, quit asked %d, ended %d", qPrintable(url), served, asked,
                 ended);
    return served && asked && ended;
}

bool runWorker(const Sandbox& sandbox, const QString& browser)
{
    TestKeyring keyring(sandbox);
    const auto run =
        BuiltSuite::runProgram(BuiltSuite::executable(BuiltSuite::workerBundle()), {browser}, sandbox);
    return keyring.isRunning() && run.finished && run.exitCode == 0;
}

} // namespace

class RealBrowsersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void chromiumKeepsOnlyTheSavedLoginsSite()
    {
        if (!QFile::exists(chromiumProgram))
            QSKIP("Chromium is not installed here (/usr/bin/chromium)");
        Sandbox sandbox;
        CookieServer server;
        QVERIFY(server.port() != 0);
        const QString favourite = QStringLiteral("127.0.0.1");
        const QString other = QStringLiteral("localhost");
        QVERIFY(runChromium(sandbox, server, server.url(favourite, QStringLiteral("/set"))));
        QVERIFY(runChromium(sandbox, server, server.url(other, QStringLiteral("/set"))));

        // A password saved from a web form of the favourite site, as Chromium stores it.
        Sqlite logins;
        QVERIFY(logins.open(sandbox.homePath(QStringLiteral(".config/chromium/Default/Login Data"))));
        QVERIFY(logins.executeNonQuery(
            QStringLiteral(
                "INSERT INTO logins (origin_url, action_url, username_element, username_value, "
                "password_element, password_value, signon_realm, date_created, blacklisted_by_user, "
                "scheme) VALUES (?, ?, 'u', 'alice', 'p', x'763130', ?, 13400000000000000, 0, 0);"),
            {server.url(favourite, QStringLiteral("/")), server.url(favourite, QStringLiteral("/login")),
             server.url(favourite, QStringLiteral("/"))}));
        logins.close();

        QVERIFY(runWorker(sandbox, QStringLiteral("Chromium")));
        QVERIFY(runChromium(sandbox, server, server.url(favourite, QStringLiteral("/check"))));
        QVERIFY(runChromium(sandbox, server, server.url(other, QStringLiteral("/check"))));
        QCOMPARE(server.checked().value(favourite), QStringLiteral("session=1"));
        QCOMPARE(server.checked().value(other), QString());
    }

    void firefoxKeepsOnlyTheSavedLoginsSite()
    {
        if (!QFile::exists(firefoxProgram))
            QSKIP("Firefox ESR is not installed here (/usr/bin/firefox-esr)");
        Sandbox sandbox;
        CookieServer server;
        QVERIFY(server.port() != 0);
        QProcess create;
        create.setProcessEnvironment(sandbox.environment());
        create.start(firefoxProgram,
                     {QStringLiteral("--headless"), QStringLiteral("-CreateProfile"), QStringLiteral("e2e")});
        QVERIFY(create.waitForFinished(60000));
        QDir root(sandbox.homePath(QStringLiteral(".config/mozilla/firefox")));
        if (!root.exists())
            root.setPath(sandbox.homePath(QStringLiteral(".mozilla/firefox")));
        const QStringList made = root.entryList({QStringLiteral("*.e2e")}, QDir::Dirs);
        QCOMPARE(made.size(), 1);
        const QString profile = root.filePath(made.first());
        // The remote-control port on a free port of Firefox's choosing, and no first-run page.
        QFile prefs(profile + QStringLiteral("/user.js"));
        QVERIFY(prefs.open(QIODevice::WriteOnly));
        prefs.write("user_pref(\"marionette.port\", 0);\n"
                    "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
                    "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
                    "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
                    "user_pref(\"toolkit.telemetry.reportingpolicy.firstRun\", false);\n"
                    "user_pref(\"datareporting.policy.firstRunURL\", \"\");\n"
                    "user_pref(\"startup.homepage_welcome_url\", \"\");\n"
                    "user_pref(\"startup.homepage_welcome_url.additional\", \"\");\n"
                    "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n");
        prefs.close();

        const QString favourite = QStringLiteral("127.0.0.1");
        const QString other = QStringLiteral("localhost");
        QVERIFY(runFirefox(sandbox, server, profile, server.url(favourite, QStringLiteral("/set"))));
        QVERIFY(runFirefox(sandbox, server, profile, server.url(other, QStringLiteral("/set"))));
        QFile logins(profile + QStringLiteral("/logins.json"));
        QVERIFY(logins.open(QIODevice::WriteOnly));
        logins.write(
            "{\"nextId\":2,\"logins\":[{\"id\":1,\"hostname\":\"" +
            server.url(favourite, QString()).toUtf8() +
            "\",\"httpRealm\":null,\"formSubmitURL\":\"\",\"usernameField\":\"u\",\"passwordField\":\"p\","
            "\"encryptedUsername\":\"\",\"encryptedPassword\":\"\",\"guid\":\"{1}\",\"encType\":1,"
            "\"timeCreated\":1765200000000,\"timeLastUsed\":1765200000000,\"timePasswordChanged\":"
            "1765200000000,\"timesUsed\":1}],\"version\":3}");
        logins.close();

        QVERIFY(runWorker(sandbox, QStringLiteral("Firefox")));
        QVERIFY(runFirefox(sandbox, server, profile, server.url(favourite, QStringLiteral("/check"))));
        QVERIFY(runFirefox(sandbox, server, profile, server.url(other, QStringLiteral("/check"))));
        QCOMPARE(server.checked().value(favourite), QStringLiteral("session=1"));
        QCOMPARE(server.checked().value(other), QString());
    }
};

QTEST_GUILESS_MAIN(RealBrowsersTest)
#include "RealBrowsersTest.moc"
