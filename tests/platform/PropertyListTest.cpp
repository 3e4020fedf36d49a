#include "platform/PropertyList.h"
#include "Sandbox.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/stat.h>

#include <plist/plist.h>

class PropertyListTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void xmlKeepsEveryType()
    {
        const QVariantMap value{
            {QStringLiteral("flag"), true},
            {QStringLiteral("off"), false},
            {QStringLiteral("list"),
             QStringList{QStringLiteral("com.apple.Safari"), QStringLiteral("a<&>\"b")}},
            {QStringLiteral("count"), qint64(-42)},
            {QStringLiteral("ratio"), 0.125},
            {QStringLiteral("bytes"), QByteArray("\x00\xff", 2)},
            {QStringLiteral("when"), QDateTime(QDate(2024, 2, 29), QTime(12, 30, 5), Qt::UTC)},
            {QStringLiteral("nested"), QVariantMap{{QStringLiteral("empty"), QVariantList()}}},
        };
        const QByteArray xml = PropertyList::toXml(value);
        QVERIFY(xml.contains("<!DOCTYPE plist"));
        const QVariantMap back = PropertyList::fromBytes(xml).toMap();
        QCOMPARE(back.value(QStringLiteral("flag")).typeId(), QMetaType::Bool);
        QCOMPARE(back.value(QStringLiteral("flag")).toBool(), true);
        QCOMPARE(back.value(QStringLiteral("off")).toBool(), false);
        QCOMPARE(back.value(QStringLiteral("list")).toStringList(),
                 value.value(QStringLiteral("list")).toStringList());
        QCOMPARE(back.value(QStringLiteral("count")).toLongLong(), -42);
        QCOMPARE(back.value(QStringLiteral("ratio")).toDouble(), 0.125);
        QCOMPARE(back.value(QStringLiteral("bytes")).toByteArray(), QByteArray("\x00\xff", 2));
        QCOMPARE(back.value(QStringLiteral("when")).toDateTime(),
                 value.value(QStringLiteral("when")).toDateTime());
        QCOMPARE(back.value(QStringLiteral("nested")).toMap().value(QStringLiteral("empty")).toList().size(),
                 0);
    }

    void readsBinaryPropertyLists()
    {
        plist_t root = plist_new_dict();
        plist_dict_set_item(root, "isRunning", plist_new_bool(1));
        plist_t browsers = plist_new_array();
        plist_array_append_item(browsers, plist_new_string("org.mozilla.firefox"));
        plist_dict_set_item(root, "enabledBrowsersArray", browsers);
        char* bytes = nullptr;
        uint32_t length = 0;
        plist_to_bin(root, &bytes, &length);
        const QByteArray binary(bytes, static_cast<qsizetype>(length));
        free(bytes);
        plist_free(root);

        const QVariantMap value = PropertyList::fromBytes(binary).toMap();
        QCOMPARE(value.value(QStringLiteral("isRunning")).toBool(), true);
        QCOMPARE(value.value(QStringLiteral("enabledBrowsersArray")).toStringList(),
                 QStringList{QStringLiteral("org.mozilla.firefox")});
        // A cut-off binary list is no property list at all.
        QVERIFY(!PropertyList::fromBytes(binary.left(binary.size() - 5)).isValid());
    }

    void utf16StringHoldingNulIsMalformed()
    {
        // libplist aborts the program when it hands out such a string, key or value; the list is
        // refused before it gets there. {"k": "é\0b"}:
        QVERIFY(!PropertyList::fromBytes(
                     QByteArray::fromHex(
                         "62706c6973743030d10102516b6300e900000062080b0d000000000000010100000000000000"
                         "0300000000000000000000000000000014"))
                     .isValid());
        // The inputs the fuzzer found it with: strings and keys holding NULs.
        QVERIFY(!PropertyList::fromBytes(
                     QByteArray::fromBase64("YnBsaXN0MDDSAQIDClEAAAAAAAAAAAAAAAAAAAIAAAAAAAAAAAAA"
                                            "AAAKUQAAAAAAAAAAAAAAAAAAAgAAAAAAAAAAAAAAAAAAAAAAAAAA"
                                            "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAYVFkQAQA"
                                            "AAAAAAAJQnh5UXMyQcHeDEAAAADRCwxQa1F2CA0PERgaIyQnKTI1"
                                            "NwAAAAAAAAEBAAAAAAAAAA0AAAAAAAAAAAAAAAAAAAA5"))
                     .isValid());
        QVERIFY(!PropertyList::fromBytes(
                     QByteArray::fromBase64("YnBsaXN0MDDSAQIDClFhbGSmBAUGBwgJEAEjQAQAAAD4//8IQnh5UXMz"
                                            "QcHeDEAAAADRCwxQa1F2CA0PERgaMikkIycAADc1AAAAAAEBAAAAAAAA"
                                            "AA0AAAAAAAAAAAAAAAAAAAA5"))
                     .isValid());
        // A string of plain ASCII with a NUL is cut there by libplist, and read.
        QCOMPARE(PropertyList::fromBytes(
                     QByteArray::fromHex("62706c6973743030d10102516b53610062080b0d000000000000010100"
                                         "0000000000000300000000000000000000000000000011"))
                     .toMap()
                     .value(QStringLiteral("k"))
                     .toString(),
                 QStringLiteral("a"));
    }

    void rejectsWhatIsNotAPropertyList_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("garbage") << QByteArray("\x01\x02 not xml");
        QTest::newRow("other root") << QByteArray("<html><dict/></html>");
        QTest::newRow("unclosed") << QByteArray("<plist><dict><key>a</key><true/>");
        QTest::newRow("key without value") << QByteArray("<plist><dict><key>a</key></dict></plist>");
        QTest::newRow("bad integer") << QByteArray("<plist><integer>12x</integer></plist>");
        QTest::newRow("unknown element") << QByteArray("<plist><blob/></plist>");
        QTest::newRow("two roots") << QByteArray("<plist><true/><false/></plist>");
        QTest::newRow("bad binary") << QByteArray("bplist00\x01\x02\x03");
        QTest::newRow("too deep") << QByteArray("<plist>") + QByteArray("<array>").repeated(5000) +
                                         QByteArray("</array>").repeated(5000) + QByteArray("</plist>");
    }

    void rejectsWhatIsNotAPropertyList()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(!PropertyList::fromBytes(bytes).isValid());
    }

    void tellsMissingUnreadableAndMalformedFilesApart()
    {
        Sandbox sandbox;
        QCOMPARE(PropertyList::readFile(sandbox.homePath(QStringLiteral("none.plist"))).status,
                 PropertyList::ReadStatus::Missing);
        QVERIFY(sandbox.writeFile(QStringLiteral("bad.plist"), "<plist><dict>"));
        QCOMPARE(PropertyList::readFile(sandbox.homePath(QStringLiteral("bad.plist"))).status,
                 PropertyList::ReadStatus::Malformed);
        QVERIFY(QDir().mkpath(sandbox.homePath(QStringLiteral("folder.plist"))));
        QCOMPARE(PropertyList::readFile(sandbox.homePath(QStringLiteral("folder.plist"))).status,
                 PropertyList::ReadStatus::Unreadable);
        // A FIFO is not waited on: nobody may ever write to it.
        const QByteArray fifo = QFile::encodeName(sandbox.homePath(QStringLiteral("fifo.plist")));
        QCOMPARE(mkfifo(fifo.constData(), 0600), 0);
        QCOMPARE(PropertyList::readFile(QFile::decodeName(fifo)).status,
                 PropertyList::ReadStatus::Unreadable);
        QVERIFY(sandbox.writeFile(QStringLiteral("huge.plist"), QByteArray(17 * 1024 * 1024, ' ')));
        QCOMPARE(PropertyList::readFile(sandbox.homePath(QStringLiteral("huge.plist"))).status,
                 PropertyList::ReadStatus::Malformed);
    }
};

QTEST_GUILESS_MAIN(PropertyListTest)
#include "PropertyListTest.moc"
