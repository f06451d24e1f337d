// The BC7 and BC6H block decoders against Pillow's, on the seeded random
// blocks of every mode, reserved ones too, that bptc_reference.py writes.
#include "convert/formats/bptc.h"

#include <QFile>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace morvane::formats::bptc;

class TestBptc : public QObject {
    Q_OBJECT

private slots:
    void matchesPillow();
};

void TestBptc::matchesPillow()
{
    const int exitCode = QProcess::execute(u"/usr/bin/python3"_s,
                                           {u"" MORVANE_BPTC_SCRIPT ""_s, u"" MORVANE_BPTC_REFERENCE ""_s});
    if (exitCode == -2)
        QSKIP("/usr/bin/python3 is not installed");
    if (exitCode == 77)
        QSKIP("python3-pil is not installed");
    QCOMPARE(exitCode, 0);
    QFile file(u"" MORVANE_BPTC_REFERENCE ""_s);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray records = file.readAll();
    constexpr int RecordBytes = 1 + 16 + 64;
    QVERIFY(!records.isEmpty() && records.size() % RecordBytes == 0);

    // Pillow's BC6H interpolation drops the rounding half, so a BC6H channel
    // of ours may be one more than its, in under one in a thousand; all else
    // is exact.
    int bc6hChannels = 0, roundedUp = 0;
    for (qsizetype at = 0; at < records.size(); at += RecordBytes) {
        const auto *record = reinterpret_cast<const uchar *>(records.constData() + at);
        uchar texels[64];
        if (record[0] == 0)
            decodeBc7(record + 1, texels);
        else
            decodeBc6h(record + 1, record[0] == 2, texels);
        for (int i = 0; i < 64; ++i) {
            const int ahead = texels[i] - record[17 + i];
            if (ahead != 0 && !(ahead == 1 && record[0] != 0 && i % 4 != 3))
                QFAIL(qPrintable(u"kind %1 block %2: byte %3 is %4, Pillow's %5"_s.arg(record[0])
                                     .arg(QString::fromLatin1(QByteArray(records.constData() + at + 1, 16).toHex()))
                                     .arg(i).arg(texels[i]).arg(record[17 + i])));
            roundedUp += ahead;
        }
        bc6hChannels += record[0] ? 48 : 0;
    }
    QVERIFY2(roundedUp * 1000 < bc6hChannels,
             qPrintable(u"%1 of %2 BC6H channels one more"_s.arg(roundedUp).arg(bc6hChannels)));
}

QTEST_GUILESS_MAIN(TestBptc)
#include "tst_bptc.moc"
