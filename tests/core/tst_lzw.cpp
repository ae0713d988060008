// The LZW strip encoder: whatever the input, libtiff's decoder gives it back
// exactly, and what was in the output buffer before stays.
#include "core/image/LzwEncoder.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <tiffio.h>

using namespace quillon::image;

namespace {

// Codes `input` after some bytes already in the buffer, stores the code as
// the one strip of a one-row 8-bit grey LZW TIFF and reads it back through
// libtiff. Fails the test on the way if the earlier bytes changed.
QByteArray roundTrip(const QByteArray &input, const QString &path)
{
    const std::vector<quint8> before{'o', 'l', 'd'};
    std::vector<quint8> out = before;
    lzwEncode(reinterpret_cast<const quint8 *>(input.constData()), std::size_t(input.size()), &out);
    if (!std::equal(before.begin(), before.end(), out.begin()))
        return "earlier bytes changed";

    TIFF *w = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!w)
        return {};
    const bool written = TIFFSetField(w, TIFFTAG_IMAGEWIDTH, quint32(input.size()))
        && TIFFSetField(w, TIFFTAG_IMAGELENGTH, 1) && TIFFSetField(w, TIFFTAG_BITSPERSAMPLE, 8)
        && TIFFSetField(w, TIFFTAG_SAMPLESPERPIXEL, 1) && TIFFSetField(w, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK)
        && TIFFSetField(w, TIFFTAG_COMPRESSION, COMPRESSION_LZW) && TIFFSetField(w, TIFFTAG_ROWSPERSTRIP, 1)
        && TIFFWriteRawStrip(w, 0, out.data() + before.size(), tmsize_t(out.size() - before.size())) >= 0;
    TIFFClose(w);
    if (!written)
        return {};

    TIFF *r = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!r)
        return {};
    QByteArray back(input.size(), '\0');
    const tmsize_t got = TIFFReadEncodedStrip(r, 0, back.data(), back.size());
    TIFFClose(r);
    return got == back.size() ? back : QByteArray();
}

// Every two-byte sequence once (a de Bruijn sequence): each byte is a new
// string, so after n bytes the table holds n - 1 strings, and fills at
// byte 3837, 7673, ...
QByteArray everyPairOnce()
{
    QByteArray s;
    for (int a = 0; a < 256; ++a) {
        s.append(char(a));
        for (int b = a + 1; b < 256; ++b)
            s.append(char(a)).append(char(b));
    }
    return s;
}

QByteArray randomBytes(QRandomGenerator &random, qsizetype n, int alphabet = 256)
{
    QByteArray s(n, '\0');
    for (char &c : s)
        c = char(random.bounded(alphabet));
    return s;
}

// Smooth 8-bit RGB rows with a little noise, each sample minus the one to
// its left, as the horizontal predictor leaves them.
QByteArray differencedPhoto(int width, int rows)
{
    QRandomGenerator random(7);
    QByteArray s;
    for (int y = 0; y < rows; ++y) {
        QByteArray row(width * 3, '\0');
        for (int x = 0; x < width; ++x) {
            for (int k = 0; k < 3; ++k)
                row[x * 3 + k] = char((x * (k + 1) / 5 + y * 2 + random.bounded(4)) & 0xff);
        }
        for (int i = row.size() - 1; i >= 3; --i)
            row[i] = char(row[i] - row[i - 3]);
        s += row;
    }
    return s;
}

// Long runs between bursts of noise, so that tables fill inside runs too.
QByteArray runsAndNoise(QRandomGenerator &random, qsizetype n)
{
    QByteArray s;
    while (s.size() < n) {
        s += randomBytes(random, random.bounded(1, 3000));
        s += QByteArray(random.bounded(1, 5000), char(random.bounded(256)));
    }
    return s.left(n);
}

// Pieces of different kinds: noise, runs, a few symbols, repeats of earlier
// input (which LZW matches as long strings).
QByteArray mixed(QRandomGenerator &random, qsizetype n)
{
    QByteArray s;
    while (s.size() < n) {
        const qsizetype len = random.bounded(1, 2000);
        switch (random.bounded(4)) {
        case 0: s += randomBytes(random, len); break;
        case 1: s += QByteArray(len, char(random.bounded(256))); break;
        case 2: s += randomBytes(random, len, random.bounded(1, 5)); break;
        default: s += s.isEmpty() ? QByteArray(1, 'x') : s.mid(random.bounded(s.size()), len); break;
        }
    }
    return s.left(n);
}

} // namespace

class TestLzw : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void roundTrip_data();
    void roundTrip();
    void randomInputs();
};

void TestLzw::roundTrip_data()
{
    QTest::addColumn<QByteArray>("input");
    QRandomGenerator random(1);
    QTest::newRow("one byte") << QByteArray("\x00", 1);
    QTest::newRow("two bytes") << QByteArray("ab");
    QTest::newRow("two equal bytes") << QByteArray("\xff\xff");
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QTest::newRow("every byte value") << all;
    QTest::newRow("long run") << QByteArray(300000, '\x55');
    QTest::newRow("short runs") << [] {
        QByteArray s;
        for (int i = 0; s.size() < 60000; ++i)
            s += QByteArray(1 + i % 45, char(i * 37));
        return s;
    }();
    QTest::newRow("runs and noise") << runsAndNoise(random, 400000);
    QTest::newRow("random bytes") << randomBytes(random, 100000);
    QTest::newRow("text then noise (ratio clears)") << QByteArray("the quick brown fox jumps over ").repeated(1500)
            + randomBytes(random, 60000);
    QTest::newRow("differenced photo") << differencedPhoto(700, 40);
    QTest::newRow("128 KiB strip") << differencedPhoto(1000, 44).left(128 * 1024);
    // Ends just before, at and after the code widens and the table fills.
    const QByteArray pairs = everyPairOnce();
    for (int n : {253, 254, 255, 765, 766, 767, 1789, 1790, 1791, 3835, 3836, 3837, 3838, 7671, 7672, 7673})
        QTest::addRow("every pair new, %d bytes", n) << pairs.left(n);
    QTest::newRow("every pair once") << pairs;
}

void TestLzw::roundTrip()
{
    QFETCH(QByteArray, input);
    QCOMPARE(::roundTrip(input, m_dir.filePath(QStringLiteral("strip.tif"))), input);
}

void TestLzw::randomInputs()
{
    const QString path = m_dir.filePath(QStringLiteral("random.tif"));
    // scripts/fuzz.sh asks for many more, under the sanitizers.
    const quint32 count = qEnvironmentVariableIsSet("QUILLON_LZW_INPUTS")
        ? quint32(qEnvironmentVariableIntValue("QUILLON_LZW_INPUTS"))
        : 200;
    for (quint32 seed = 1; seed <= count; ++seed) {
        QRandomGenerator random(seed);
        const QByteArray input = mixed(random, random.bounded(1, 20000));
        if (::roundTrip(input, path) != input)
            QFAIL(qPrintable(QStringLiteral("seed %1, %2 bytes").arg(seed).arg(input.size())));
    }
}

QTEST_GUILESS_MAIN(TestLzw)
#include "tst_lzw.moc"
