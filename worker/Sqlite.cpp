#include "Sqlite.h"

#include "platform/DirectoryListing.h"
#include "platform/FileRemoval.h"
#include "worker/SecureDelete.h"

#include <QDateTime>
#include <QFile>
#include <QUuid>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr useconds_t busyPause = 20;

QString fromCString(const unsigned char* text)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(text));
}

// The journal or log of a database, as SQLite names it; only a plain file is one.
bool isCompanionFile(const QString& path)
{
    return DirectoryListing::typeOf(QFile::encodeName(path)) == DirectoryEntry::Type::File;
}

// A rollback journal that still begins with its magic number holds pages the database may need
// back; one whose header was zeroed at the end of its transaction holds only old content.
bool isLiveJournal(const QString& path)
{
    static const QByteArray magic("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", 8);
    QFile journal(path);
    return journal.open(QIODevice::ReadOnly) && journal.read(magic.size()) == magic;
}

} // namespace

// A prepared statement, finalized (and the text bound to it dropped) when it goes.
class Sqlite::Statement
{
public:
    Statement(Sqlite& database, const QString& sql) : m_database(database)
    {
        m_prepared = database.prepareSql(sql, &m_statement);
    }
    ~Statement()
    {
        sqlite3_finalize(m_statement);
        m_database.m_boundBytes.clear();
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    [[nodiscard]] bool isPrepared() const { return m_prepared; }
    [[nodiscard]] sqlite3_stmt* get() const { return m_statement; }

private:
    Sqlite& m_database;
    sqlite3_stmt* m_statement = nullptr;
    bool m_prepared = false;
};

Sqlite::Transaction::Transaction(Sqlite& database, Kind kind) : m_database(database)
{
    m_active = kind == Kind::Exclusive ? database.beginTransaction() : database.beginDeferredTransaction();
}

Sqlite::Transaction::~Transaction()
{
    if (m_active && m_database.isInTransaction())
        (void)m_database.rollback();
}

bool Sqlite::Transaction::commit()
{
    if (!m_active)
        return false;
    m_active = false;
    const bool committed = m_database.commit();
    // A commit that failed (busy, a full disk) may leave the transaction open.
    if (!committed && m_database.isInTransaction())
        (void)m_database.rollback();
    return committed;
}

Sqlite::Sqlite() = default;

Sqlite::Sqlite(const QString& path) : m_busyRetryTimeout(0)
{
    (void)open(path);
}

Sqlite::~Sqlite()
{
    close();
}

template <typename Call> int Sqlite::withBusyRetry(Call call)
{
    qint64 retries = 0;
    for (;;) {
        const int result = call();
        if (result != SQLITE_BUSY)
            return result;
        usleep(busyPause);
        if (retries >= m_busyRetryTimeout)
            return result;
        ++retries;
    }
}

bool Sqlite::open(const QString& path, Deletion deletion)
{
    close();
    const QByteArray file = QFile::encodeName(path);
    // A database file or none yet: reading a FIFO or a device in its place would never end.
    struct stat info;
    if (stat(file.constData(), &info) == 0 && !S_ISREG(info.st_mode))
        return false;
    if (sqlite3_open(file.constData(), &m_db) != SQLITE_OK)
        return false;
    m_filePath = path;
    if (deletion == Deletion::Secure)
        beginSecureDeletion();
    return true;
}

void Sqlite::close()
{
    if (m_db && m_deletion == Deletion::Secure)
        finishSecureDeletion();
    if (m_db)
        (void)withBusyRetry([this] { return sqlite3_close(m_db); });
    // A connection that stays busy is dropped all the same.
    m_db = nullptr;
    m_filePath.clear();
    m_deletion = Deletion::Ordinary;
}

bool Sqlite::isInTransaction() const
{
    return m_db && sqlite3_get_autocommit(m_db) == 0;
}

std::optional<QString> Sqlite::pragmaValue(const QString& sql)
{
    const auto rows = executeQuery(sql);
    if (!rows || rows->size() != 1 || rows->first().size() != 1)
        return std::nullopt;
    return rows->first().first().toString();
}

void Sqlite::beginSecureDeletion()
{
    m_deletion = Deletion::Secure;
    // Held alone until the close: no other connection reads freed pages or writes the journal or
    // the log while they are overwritten.
    for (const char* pragma : {"PRAGMA locking_mode=EXCLUSIVE;", "PRAGMA secure_delete=ON;",
                               "PRAGMA temp_store=MEMORY;", "PRAGMA synchronous=FULL;"})
        (void)executeQuery(QString::fromLatin1(pragma));
    // The journal mode shows once the database has been read. A write-ahead log stays; a rollback
    // journal is kept at each commit, with its header zeroed, rather than deleted with its old
    // pages still on the disk. The browser's own mode comes back with its next connection.
    (void)executeQuery(QStringLiteral("SELECT count(*) FROM sqlite_master;"));
    const QString mode = pragmaValue(QStringLiteral("PRAGMA journal_mode;")).value_or(QString());
    if (mode == QLatin1String("delete") || mode == QLatin1String("truncate"))
        (void)pragmaValue(QStringLiteral("PRAGMA journal_mode=PERSIST;"));
}

void Sqlite::finishSecureDeletion()
{
    if (isInTransaction())
        (void)rollback();
    if (pragmaValue(QStringLiteral("PRAGMA journal_mode;")) == QLatin1String("wal")) {
        // Every frame goes into the database, synced there; only then is the log needed no more.
        // Once overwritten it holds no valid header and is ignored; the close removes it.
        const auto rows = executeQuery(QStringLiteral("PRAGMA wal_checkpoint(FULL);"));
        if (!rows || rows->size() != 1)
            return;
        const Row& result = rows->first();
        const QString log = m_filePath + QStringLiteral("-wal");
        if (result.value(QStringLiteral("busy")).toString() == QLatin1String("0") &&
            result.value(QStringLiteral("log")) == result.value(QStringLiteral("checkpointed")) &&
            isCompanionFile(log))
            (void)SecureDelete::wipe(log);
        return;
    }
    // Under an exclusive lock nobody takes the journal for one to play back while it is overwritten.
    Transaction hold(*this);
    const QString journal = m_filePath + QStringLiteral("-journal");
    if (!hold.isActive() || !isCompanionFile(journal) || isLiveJournal(journal))
        return;
    if (SecureDelete::wipe(journal))
        (void)FileRemoval::removeItem(journal);
    (void)hold.commit();
}

int Sqlite::errorCode() const
{
    return sqlite3_errcode(m_db);
}

QString Sqlite::errorMessage() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

std::optional<Sqlite::Rows> Sqlite::executeQuery(const QString& sql, const QVariantList& arguments)
{
    const Statement statement(*this, sql);
    if (!statement.isPrepared())
        return std::nullopt;
    bindArguments(statement.get(), arguments);
    Rows rows;
    const int columns = sqlite3_column_count(statement.get());
    QStringList names;
    for (int column = 0; column < columns; ++column)
        names.append(columnName(statement.get(), column));
    while (hasData(statement.get())) {
        Row row;
        for (int column = 0; column < columns; ++column)
            row.insert(names.at(column), columnData(statement.get(), column));
        rows.append(row);
    }
    return rows;
}

bool Sqlite::forEachRow(const QString& sql, const std::function<bool(const RowView&)>& visit,
                        const QVariantList& arguments)
{
    sqlite3_stmt* statement = nullptr;
    if (!prepareSql(sql, &statement))
        return false;
    bindArguments(statement, arguments);
    RowView row;
    row.m_sqlite = this;
    row.m_statement = statement;
    int result = SQLITE_ROW;
    while ((result = withBusyRetry([statement] { return sqlite3_step(statement); })) == SQLITE_ROW) {
        if (!visit(row))
            break;
    }
    sqlite3_finalize(statement);
    m_boundBytes.clear();
    return result == SQLITE_DONE;
}

QVariant Sqlite::RowView::value(int column) const
{
    return m_sqlite->columnData(m_statement, column);
}

std::optional<qint64> Sqlite::RowView::integer(int column) const
{
    if (sqlite3_column_type(m_statement, column) != SQLITE_INTEGER)
        return std::nullopt;
    return sqlite3_column_int64(m_statement, column);
}

bool Sqlite::executeNonQuery(const QString& sql, const QVariantList& arguments)
{
    const Statement statement(*this, sql);
    if (!statement.isPrepared())
        return false;
    bindArguments(statement.get(), arguments);
    return executeStatament(statement.get());
}

bool Sqlite::executeNonQuery(const QString& sql, const QList<QVariantList>& argumentLists)
{
    const Statement statement(*this, sql);
    if (!statement.isPrepared())
        return false;
    for (const QVariantList& arguments : argumentLists) {
        bindArguments(statement.get(), arguments);
        const bool done = executeStatament(statement.get());
        sqlite3_reset(statement.get());
        m_boundBytes.clear();
        if (!done)
            return false;
    }
    return true;
}

bool Sqlite::beginTransaction()
{
    return executeNonQuery(QStringLiteral("BEGIN EXCLUSIVE TRANSACTION;"));
}

bool Sqlite::beginDeferredTransaction()
{
    return executeNonQuery(QStringLiteral("BEGIN DEFERRED TRANSACTION;"));
}

bool Sqlite::commit()
{
    return executeNonQuery(QStringLiteral("COMMIT TRANSACTION;"));
}

bool Sqlite::rollback()
{
    return executeNonQuery(QStringLiteral("ROLLBACK TRANSACTION;"));
}

bool Sqlite::prepareSql(const QString& sql, sqlite3_stmt** statement)
{
    const QByteArray text = sql.toUtf8();
    const int result =
        withBusyRetry([&] { return sqlite3_prepare_v2(m_db, text.constData(), -1, statement, nullptr); });
    if (result == SQLITE_OK && *statement)
        return true;
    // A failed prepare may still hand back a statement; it must not leak.
    sqlite3_finalize(*statement);
    *statement = nullptr;
    return false;
}

bool Sqlite::executeStatament(sqlite3_stmt* statement)
{
    const int result = withBusyRetry([statement] { return sqlite3_step(statement); });
    return result == SQLITE_DONE || result == SQLITE_OK;
}

bool Sqlite::hasData(sqlite3_stmt* statement)
{
    return withBusyRetry([statement] { return sqlite3_step(statement); }) == SQLITE_ROW;
}

void Sqlite::bindArguments(sqlite3_stmt* statement, const QVariantList& arguments)
{
    const int parameters = sqlite3_bind_parameter_count(statement);
    for (int index = 0; index < parameters; ++index)
        bindObject(arguments.value(index), index + 1, statement);
}

void Sqlite::bindObject(const QVariant& value, int column, sqlite3_stmt* statement)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        sqlite3_bind_null(statement, column);
        return;
    case QMetaType::QByteArray: {
        m_boundBytes.append(value.toByteArray());
        const QByteArray& bytes = m_boundBytes.last();
        sqlite3_bind_blob(statement, column, bytes.constData(), int(bytes.size()), SQLITE_STATIC);
        return;
    }
    case QMetaType::QDateTime:
        sqlite3_bind_double(statement, column, double(value.toDateTime().toMSecsSinceEpoch()) / 1000.0);
        return;
    case QMetaType::Bool:
    case QMetaType::Char:
        sqlite3_bind_int(statement, column, value.toBool() ? 1 : 0);
        return;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
        sqlite3_bind_int64(statement, column, value.toLongLong());
        return;
    case QMetaType::Float:
    case QMetaType::Double:
        sqlite3_bind_double(statement, column, value.toDouble());
        return;
    default:
        // Strings, and anything else by its text form.
        m_boundBytes.append(value.toString().toUtf8());
        sqlite3_bind_text(statement, column, m_boundBytes.last().constData(), -1, SQLITE_STATIC);
        return;
    }
}

QVariant Sqlite::columnData(sqlite3_stmt* statement, int columnIndex) const
{
    switch (sqlite3_column_type(statement, columnIndex)) {
    case SQLITE_INTEGER: {
        const unsigned char* text = sqlite3_column_text(statement, columnIndex);
        return text ? fromCString(text) : QString(QLatin1String(""));
    }
    case SQLITE_FLOAT:
        return sqlite3_column_double(statement, columnIndex);
    case SQLITE_TEXT: {
        const unsigned char* text = sqlite3_column_text(statement, columnIndex);
        return text ? fromCString(text) : QString(QLatin1String(""));
    }
    case SQLITE_BLOB: {
        const void* blob = sqlite3_column_blob(statement, columnIndex);
        const int size = sqlite3_column_bytes(statement, columnIndex);
        return QByteArray(static_cast<const char*>(blob), size);
    }
    case SQLITE_NULL:
        return QVariant::fromValue(nullptr);
    default:
        return QVariant();
    }
}

QString Sqlite::columnName(sqlite3_stmt* statement, int columnIndex) const
{
    return QString::fromUtf8(sqlite3_column_name(statement, columnIndex));
}

QString Sqlite::version()
{
    return QString::fromUtf8(sqlite3_libversion());
}

QString Sqlite::createUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}
