#include "Sqlite.h"

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

} // namespace

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

bool Sqlite::open(const QString& path)
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
    return true;
}

void Sqlite::close()
{
    if (m_db)
        (void)withBusyRetry([this] { return sqlite3_close(m_db); });
    // A connection that stays busy is dropped all the same.
    m_db = nullptr;
    m_filePath.clear();
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
    sqlite3_stmt* statement = nullptr;
    if (!prepareSql(sql, &statement))
        return std::nullopt;
    bindArguments(statement, arguments);
    Rows rows;
    const int columns = sqlite3_column_count(statement);
    QStringList names;
    for (int column = 0; column < columns; ++column)
        names.append(columnName(statement, column));
    while (hasData(statement)) {
        Row row;
        for (int column = 0; column < columns; ++column)
            row.insert(names.at(column), columnData(statement, column));
        rows.append(row);
    }
    sqlite3_finalize(statement);
    m_boundBytes.clear();
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
    sqlite3_stmt* statement = nullptr;
    if (!prepareSql(sql, &statement))
        return false;
    bindArguments(statement, arguments);
    const bool done = executeStatament(statement);
    sqlite3_finalize(statement);
    m_boundBytes.clear();
    return done;
}

bool Sqlite::executeNonQuery(const QString& sql, const QList<QVariantList>& argumentLists)
{
    sqlite3_stmt* statement = nullptr;
    if (!prepareSql(sql, &statement))
        return false;
    bool done = true;
    for (const QVariantList& arguments : argumentLists) {
        bindArguments(statement, arguments);
        done = executeStatament(statement);
        sqlite3_reset(statement);
        m_boundBytes.clear();
        if (!done)
            break;
    }
    sqlite3_finalize(statement);
    return done;
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
