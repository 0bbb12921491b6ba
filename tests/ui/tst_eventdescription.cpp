// SPDX-License-Identifier: MIT
#include "codecs.h"
#include "eventdescription.h"

#include <QTest>

using namespace trackfold;

class TestEventDescription : public QObject
{
    Q_OBJECT

private slots:
    void describes_data();
    void describes();
    void noteNames();
};

// Describes the bytes that hex spells as a grid row refers to them: an image
// holding the header, or one event whose status byte, when it starts with a
// data byte, is the running status. Text that spells no bytes is an empty
// image with nothing in it.
static std::string describeHex(const QString &hex, std::uint8_t running)
{
    std::string image;
    if (!hexToBytes(hex.toStdString(), image))
        image.clear();
    if (image.starts_with("MThd"))
        return describeHeader(image);
    EventRef event;
    if (!image.empty()) {
        event.impliedStatus = static_cast<std::uint8_t>(image[0]) < 0x80;
        event.status = event.impliedStatus ? running : static_cast<std::uint8_t>(image[0]);
    }
    return describeEvent(image, event);
}

void TestEventDescription::describes_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<int>("running");
    QTest::addColumn<QString>("text");

    QTest::newRow("note on") << "903C40" << 0 << "Note On, canale 1, nota 60 (C4), velocità 64";
    QTest::newRow("note on lowercase")
        << "9f3c40" << 0 << "Note On, canale 16, nota 60 (C4), velocità 64";
    QTest::newRow("note on zero") << "903C00" << 0
                                  << "Note On, canale 1, nota 60 (C4), velocità 0 (come Note Off)";
    QTest::newRow("note off") << "8A4500" << 0 << "Note Off, canale 11, nota 69 (A4), velocità 0";
    QTest::newRow("running status")
        << "3E40" << 0x91 << "Note On, canale 2, nota 62 (D4), velocità 64";
    QTest::newRow("running program") << "07" << 0xC3 << "Program Change, canale 4, programma 7";
    QTest::newRow("running without status") << "3E40" << 0 << "";
    QTest::newRow("running after meta") << "3E40" << 0xFF << "";
    QTest::newRow("key pressure") << "A03C10" << 0
                                  << "Aftertouch polifonico, canale 1, nota 60 (C4), pressione 16";
    QTest::newRow("volume") << "B00764" << 0
                            << "Control Change, canale 1, controller 7 (Volume), valore 100";
    QTest::newRow("unnamed controller")
        << "B01464" << 0 << "Control Change, canale 1, controller 20, valore 100";
    QTest::newRow("channel pressure")
        << "D27F" << 0 << "Aftertouch di canale, canale 3, pressione 127";
    QTest::newRow("pitch centre") << "E00040" << 0 << "Pitch Bend, canale 1, valore 0";
    QTest::newRow("pitch up") << "E07F7F" << 0 << "Pitch Bend, canale 1, valore +8191";
    QTest::newRow("pitch down") << "E00000" << 0 << "Pitch Bend, canale 1, valore -8192";
    QTest::newRow("sysex") << "F0057E7F0901F7" << 0 << "SysEx, 7 byte";
    QTest::newRow("tempo 120") << "FF510307A120" << 0 << "Tempo 500000 µs/quarto (120 BPM)";
    QTest::newRow("tempo fraction") << "FF510309EB10" << 0 << "Tempo 650000 µs/quarto (92,31 BPM)";
    QTest::newRow("time signature")
        << "FF580406031808" << 0
        << "Indicazione di tempo 6/8, 24 clock per metronomo, 8 biscrome per quarto";
    QTest::newRow("key D major") << "FF59020200" << 0 << "Tonalità Re maggiore";
    QTest::newRow("key E flat minor") << "FF5902FA01" << 0 << "Tonalità Mi bemolle minore";
    QTest::newRow("marker") << "FF060456657273" << 0 << "Marker: «Vers»";
    QTest::newRow("latin-1 text") << "FF0103E0E8F2" << 0 << "Testo: «àèò»";
    QTest::newRow("end of track") << "FF2F00" << 0 << "Fine traccia";
    QTest::newRow("unknown meta") << "FF0A020102" << 0 << "Meta evento di tipo 0A, 2 byte";
    QTest::newRow("song position") << "F20001" << 0 << "Song Position, posizione 128";
    QTest::newRow("clock") << "F8" << 0 << "Timing Clock";
    QTest::newRow("header row") << "4D546864000000060000000101E04D54726B00000010" << 0
                                << "Intestazione: formato 0, 1 traccia, 480 tick per quarto";
    QTest::newRow("cut note") << "903C" << 0 << "";
    QTest::newRow("cut tempo") << "FF510307A1" << 0 << "";
    QTest::newRow("odd length") << "903C4" << 0 << "";
    QTest::newRow("not hex") << "DT assoluto" << 0 << "";
    QTest::newRow("empty") << "" << 0 << "";
    QTest::newRow("undefined status") << "F4" << 0 << "";
}

void TestEventDescription::describes()
{
    QFETCH(QString, hex);
    QFETCH(int, running);
    QFETCH(QString, text);
    const std::string description = describeHex(hex, static_cast<std::uint8_t>(running));
    QCOMPARE(QString::fromStdString(description), text);
}

void TestEventDescription::noteNames()
{
    QCOMPARE(QString::fromStdString(noteName(0)), QStringLiteral("C-1"));
    QCOMPARE(QString::fromStdString(noteName(61)), QStringLiteral("C#4"));
    QCOMPARE(QString::fromStdString(noteName(127)), QStringLiteral("G9"));
}

QTEST_APPLESS_MAIN(TestEventDescription)
#include "tst_eventdescription.moc"
