#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// One connection to one SQLite database file. Rows come back as maps from column name to value:
// INTEGER as its decimal text, FLOAT as a double, TEXT as a string, BLOB as bytes and NULL as a
// null QVariant. A call that SQLite answers busy is retried busyRetryTimeout() more times.
class Sqlite
{
public:
    using Row = QVariantMap;
    using Rows = QList<Row>;

    // How rows deleted through the connection are treated. Secure: the freed content is zeroed in
    // the database, the connection holds the database alone until it closes, and on closing the
    // rollback journal or write-ahead log, which still hold the old pages, is overwritten as
    // SecureDelete does and removed once the database no longer needs it.
    enum class Deletion
    {
        Ordinary,
        Secure
    };

    // An exclusive (or deferred) transaction that rolls back when it goes, unless committed.
    class Transaction
    {
    public:
        enum class Kind
        {
            Exclusive,
            Deferred
        };
        explicit Transaction(Sqlite& database, Kind kind = Kind::Exclusive);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;

        // True from a successful begin until commit() or the rollback.
        [[nodiscard]] bool isActive() const { return m_active; }
        // False when the transaction was not active or the commit failed; it is rolled back then.
        [[nodiscard]] bool commit();

    private:
        Sqlite& m_database;
        bool m_active = false;
    };

    // The row a query stands on while a forEachRow() visit runs; valid only during that visit.
    class RowView
    {
    public:
        // As in a Row: INTEGER as its decimal text, NULL as a null QVariant.
        [[nodiscard]] QVariant value(int column) const;
        // The column's INTEGER value; nullopt for any other type.
        [[nodiscard]] std::optional<qint64> integer(int column) const;

    private:
        friend class Sqlite;
        const Sqlite* m_sqlite = nullptr;
        sqlite3_stmt* m_statement = nullptr;
    };

    // Closed, busy retry limit 1.
    Sqlite();
    // Opens `path` at once, busy retry limit 0; whether it opened shows in filePath().
    explicit Sqlite(const QString& path);
    ~Sqlite();
    Sqlite(const Sqlite&) = delete;
    Sqlite& operator=(const Sqlite&) = delete;

    [[nodiscard]] qint64 busyRetryTimeout() const { return m_busyRetryTimeout; }
    void setBusyRetryTimeout(qint64 retries) { m_busyRetryTimeout = retries; }
    // The open database; empty while closed.
    [[nodiscard]] QString filePath() const { return m_filePath; }

    // Closes any open connection first.
    [[nodiscard]] bool open(const QString& path, Deletion deletion = Deletion::Ordinary);
    void close();
    [[nodiscard]] Deletion deletion() const { return m_deletion; }

    [[nodiscard]] int errorCode() const;
    [[nodiscard]] QString errorMessage() const;

    // nullopt when the statement does not prepare; an error while stepping ends the rows early.
    [[nodiscard]] std::optional<Rows> executeQuery(const QString& sql, const QVariantList& arguments = {});
    // Hands each row to `visit` as it is read, holding none of them: for tables too large to copy.
    // True when the statement prepared and ran to its end; `visit` returns false to stop early.
    [[nodiscard]] bool forEachRow(const QString& sql, const std::function<bool(const RowView&)>& visit,
                                  const QVariantList& arguments = {});
    // True when the statement prepared and ran to its end.
    [[nodiscard]] bool executeNonQuery(const QString& sql, const QVariantList& arguments = {});
    // Runs one statement once for each argument list, prepared once; stops at the first failure.
    [[nodiscard]] bool executeNonQuery(const QString& sql, const QList<QVariantList>& argumentLists);

    [[nodiscard]] bool beginTransaction();
    [[nodiscard]] bool beginDeferredTransaction();
    [[nodiscard]] bool commit();
    [[nodiscard]] bool rollback();

    [[nodiscard]] bool prepareSql(const QString& sql, sqlite3_stmt** statement);
    [[nodiscard]] bool executeStatament(sqlite3_stmt* statement);
    [[nodiscard]] bool hasData(sqlite3_stmt* statement);
    void bindObject(const QVariant& value, int column, sqlite3_stmt* statement);
    [[nodiscard]] QVariant columnData(sqlite3_stmt* statement, int columnIndex) const;
    [[nodiscard]] QString columnName(sqlite3_stmt* statement, int columnIndex) const;

    [[nodiscard]] static QString version();
    [[nodiscard]] static QString createUuid();

private:
    class Statement;

    // Makes `call` until it answers something other than busy or the retries are used up.
    template <typename Call> int withBusyRetry(Call call);
    void bindArguments(sqlite3_stmt* statement, const QVariantList& arguments);
    [[nodiscard]] bool isInTransaction() const;
    // For Deletion::Secure, right after the open and right before the close.
    void beginSecureDeletion();
    void finishSecureDeletion();
    [[nodiscard]] std::optional<QString> pragmaValue(const QString& sql);

    qint64 m_busyRetryTimeout = 1;
    Deletion m_deletion = Deletion::Ordinary;
    QString m_filePath;
    sqlite3* m_db = nullptr;
    // Text bound to the current statement; kept until it is finalized.
    QList<QByteArray> m_boundBytes;
};
