#include "profiles/encrypt.h"

#include <QtTest>

/// The profile cipher: known answers worked out by hand, round trips, the key rules.
class EncryptTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void knownAnswers_data();
    void knownAnswers();
    void roundTripsEveryByte_data();
    void roundTripsEveryByte();
    void keyCaseDoesNotMatter();
    void usesCipherKey();
};

void EncryptTest::knownAnswers_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("enciphered");
    // "CALMTIDE": position 1 takes A (65), 2 takes L (76), 3 M (77), 4 T (84), ..., 8 takes C.
    QTest::newRow("record start") << QByteArray("[Y] ") << QByteArray("CalmTide")
                                  << QByteArray("\x9c\xa5\xaa\x74");
    QTest::newRow("position 8 takes the first")
        << QByteArray("\x01\x01\x01\x01\x01\x01\x01\x01\x01") << QByteArray("CalmTide")
        << QByteArray("BMNUJEFDB");
    // "AB": odd positions take B (66), even ones A (65).
    QTest::newRow("two-letter key")
        << QByteArray("abcd") << QByteArray("ab") << QByteArray("\xa3\xa3\xa5\xa5");
    QTest::newRow("sum past 255 wraps") << QByteArray("\xff") << QByteArray("A") << QByteArray("@");
    QTest::newRow("empty key") << QByteArray("plain") << QByteArray() << QByteArray("plain");
    QTest::newRow("empty text") << QByteArray() << QByteArray("CalmTide") << QByteArray();
}

void EncryptTest::knownAnswers()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, enciphered);
    QCOMPARE(EncryptWithKey(text, key), enciphered);
    QCOMPARE(DecryptWithKey(enciphered, key), text);
}

void EncryptTest::roundTripsEveryByte_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::newRow("program key") << QByteArray("CalmTide");
    QTest::newRow("one letter") << QByteArray("z");
    QTest::newRow("high codes") << QByteArray("\xff\xfe\x80");
    QTest::newRow("longer than the text") << QByteArray(300, 'q');
}

void EncryptTest::roundTripsEveryByte()
{
    QFETCH(QByteArray, key);
    QByteArray text;
    for (int round = 0; round < 3; ++round) { // every byte at every key position
        for (int code = 0; code < 256; ++code)
            text.append(char(code));
    }
    const QByteArray enciphered = EncryptWithKey(text, key);
    QCOMPARE(enciphered.size(), text.size());
    QVERIFY(enciphered != text);
    QCOMPARE(DecryptWithKey(enciphered, key), text);
}

void EncryptTest::keyCaseDoesNotMatter()
{
    const QByteArray text("[N] [ftp.example] [/in] [user] [pass word] ");
    QByteArray key("CalmTide");
    QCOMPARE(EncryptWithKey(text, "calmtide"), EncryptWithKey(text, "CALMTIDE"));
    QCOMPARE(EncryptWithKey(text, key), EncryptWithKey(text, "CALMTIDE"));
    QCOMPARE(key, QByteArray("CalmTide")); // the caller's key is not changed
}

void EncryptTest::usesCipherKey()
{
    CipherKey = kProfileCipherKey;
    QByteArray enciphered;
    QByteArray plain;
    EncryptText("[Y] [h] ", enciphered);
    DecryptText(enciphered, plain);
    QCOMPARE(enciphered, EncryptWithKey("[Y] [h] ", "CalmTide"));
    QCOMPARE(plain, QByteArray("[Y] [h] "));
}

QTEST_GUILESS_MAIN(EncryptTest)
#include "encrypt_test.moc"
