#include "logger/core/eventTypes.h"
#include "logger/core/tests/akTestData.h"

#include <QTest>
#include <cstring>

class TestAlarmMessage : public QObject {
    Q_OBJECT
private slots:
    void exampleBytes()
    {
        // The wire bytes are fixed by the servers; check the encoder against them.
        QByteArray expected = QByteArray::fromHex("0102D707041E080503") + "Peer A";
        expected += QByteArray(49 - expected.size(), '\0');
        expected += QByteArray::fromHex("C0A81307C0A81309");
        uint8_t sum = 0;
        for (char c : expected)
            sum = uint8_t(sum + uint8_t(c));
        expected += char(uint8_t(0x100 - sum));
        QCOMPARE(EncodeAlarmMessage(ExampleAlarm()), expected);
    }

    void decode_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<int>("tag");
        QTest::newRow("cold start") << 0 << "Cold Start"
                                    << "--" << 0;
        QTest::newRow("warm start ignores destination") << 1 << "Warm Start"
                                                        << "--" << 1;
        QTest::newRow("off-line") << 2 << "Off-Line"
                                  << "192.168.19.9" << 2;
        QTest::newRow("on-line") << 3 << "On-Line"
                                 << "192.168.19.9" << 3;
        // Unknown codes are kept under a generic name with code 0's colour.
        QTest::newRow("code 4") << 4 << "Event 4"
                                << "--" << 0;
        QTest::newRow("code 255") << 255 << "Event 255"
                                  << "--" << 0;
    }
    void decode()
    {
        QFETCH(int, code);
        const auto rec = DecodeAlarm(EncodeAlarmMessage(ExampleAlarm(uint8_t(code))));
        QVERIFY(rec);
        QCOMPARE(rec->cells[colNumber], QByteArray());
        QFETCH(QString, type);
        QFETCH(QString, destination);
        QFETCH(int, tag);
        QCOMPARE(QString::fromLatin1(rec->cells[colEventType]), type);
        QCOMPARE(rec->cells[colDateTime], QByteArray("4/30/2007 8:5:3"));
        QCOMPARE(rec->cells[colSourceName], QByteArray("Peer A"));
        QCOMPARE(rec->cells[colSourceIp], QByteArray("192.168.19.7"));
        QCOMPARE(QString::fromLatin1(rec->cells[colDestinationIp]), destination);
        QCOMPARE(rec->tag, tag);
    }

    void anyChangedByteIsIgnored()
    {
        const QByteArray good = EncodeAlarmMessage(ExampleAlarm());
        QVERIFY(DecodeAlarm(good));
        for (int i = 0; i < kAlarmMessageSize; ++i) {
            for (int delta : { 1, 0x80, 0xFF }) {
                QByteArray bad = good;
                bad[i] = char(uint8_t(bad[i]) + delta);
                QVERIFY2(!DecodeAlarm(bad), qPrintable(QStringLiteral("byte %1 +%2").arg(i).arg(delta)));
            }
        }
    }

    void markerOtherThanOne_data()
    {
        QTest::addColumn<int>("marker");
        QTest::newRow("0") << 0;
        QTest::newRow("2") << 2;
        QTest::newRow("255") << 255;
    }
    void markerOtherThanOne()
    {
        QFETCH(int, marker);
        AlarmMessage m = ExampleAlarm();
        m.Marker = uint8_t(marker);
        QVERIFY(!DecodeAlarm(EncodeAlarmMessage(m))); // checksum is right
    }

    void wrongSize()
    {
        const QByteArray good = EncodeAlarmMessage(ExampleAlarm());
        QVERIFY(!DecodeAlarm(good.first(57)));
        QVERIFY(!DecodeAlarm(good + '\0'));
        QVERIFY(!DecodeAlarm(QByteArrayView()));
    }

    void sourceName_data()
    {
        QTest::addColumn<QByteArray>("field"); // the 40 bytes at offset 9
        QTest::addColumn<QByteArray>("shown");
        const QByteArray n39(39, 'N');
        QTest::newRow("39 characters") << n39 + '\0' << n39;
        QTest::newRow("bytes after the zero are never shown")
            << QByteArray("ab\0SECRET", 9) + QByteArray(31, 'x') << QByteArray("ab");
        QTest::newRow("no zero byte ends at the field") << QByteArray(40, 'Z') << QByteArray(40, 'Z');
        QTest::newRow("empty") << QByteArray(40, '\0') << QByteArray();
        QTest::newRow("CR and LF become blanks")
            << QByteArray("a\r\nb\rc\n") + QByteArray(33, '\0') << QByteArray("a  b c ");
        QTest::newRow("single bytes kept") << QByteArray("M\xFC") + QByteArray(38, '\0') << QByteArray("M\xFC");
    }
    void sourceName()
    {
        QFETCH(QByteArray, field);
        QCOMPARE(field.size(), kSourceNameSize);
        AlarmMessage m = ExampleAlarm();
        std::memcpy(m.SourceName, field.constData(), kSourceNameSize);
        const auto rec = DecodeAlarm(EncodeAlarmMessage(m));
        QVERIFY(rec);
        QFETCH(QByteArray, shown);
        QCOMPARE(rec->cells[colSourceName], shown);
    }

    void texts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("number 1") << FormatRowNumber(1) << QByteArray("01");
        QTest::newRow("number 99") << FormatRowNumber(99) << QByteArray("99");
        QTest::newRow("number 100") << FormatRowNumber(100) << QByteArray("100");
        QTest::newRow("time, no leading zeros") << FormatAlarmTime(1, 2, 2007, 0, 0, 9) << QByteArray("1/2/2007 0:0:9");
        QTest::newRow("time, fields unchecked")
            << FormatAlarmTime(255, 255, 65535, 255, 255, 255) << QByteArray("255/255/65535 255:255:255");
    }
    void texts()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(text, expected);
    }

    void colorEncoding()
    {
        QCOMPARE(StoredFromColor(QColor(255, 0, 0)), 255u);
        QCOMPARE(StoredFromColor(QColor(0, 128, 0)), 32768u);
        QCOMPARE(StoredFromColor(QColor(128, 128, 128)), 8421504u);
        QCOMPARE(ColorFromStored(0x00332211u), QColor(0x11, 0x22, 0x33));
        QCOMPARE(EventTypeCode(QStringLiteral("Off-Line")), 2);
        QCOMPARE(EventTypeCode(QStringLiteral("off-line")), 0);
    }
};

QTEST_APPLESS_MAIN(TestAlarmMessage)
#include "tst_alarmMessage.moc"
