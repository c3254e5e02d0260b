// The icon images compiled into kurvan_widgets: the format each rendering promises, agreement between the RGBA and
// the palette rendering of a size, and the QIcon the program sets on its windows.
#include "widgets/KurvanIcon.h"

#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QXmlStreamReader>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

const QList<int> kSizes{16, 24, 32, 48};

QString rgbaPath(int size)
{
    return u":/icons/kurvan-client-%1.png"_s.arg(size);
}

QString palettePath(int size)
{
    return u":/icons/kurvan-client-%1-8bit.png"_s.arg(size);
}

struct PngHeader
{
    quint32 width = 0;
    quint32 height = 0;
    int bitDepth = -1;
    int colourType = -1;
};

// The IHDR fields as stored in the file; QImage converts on load and so cannot tell a true RGBA file from a
// palette file with a transparent entry. All fields stay at their defaults when the bytes are not a PNG.
PngHeader readPngHeader(const QByteArray &png)
{
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    PngHeader header;
    if (png.size() < 33 || !png.startsWith(signature) || png.mid(12, 4) != "IHDR")
        return header;
    header.width = qFromBigEndian<quint32>(png.constData() + 16);
    header.height = qFromBigEndian<quint32>(png.constData() + 20);
    header.bitDepth = static_cast<unsigned char>(png.at(24));
    header.colourType = static_cast<unsigned char>(png.at(25));
    return header;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

constexpr int kPngColourTypePalette = 3;
constexpr int kPngColourTypeRgba = 6;

} // namespace

class TestIconImages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void rgbaRendering_data();
    void rgbaRendering();
    void paletteRendering_data();
    void paletteRendering();
    void paletteMatchesRgba_data();
    void paletteMatchesRgba();

    void iconServesEachRendering();
    void scalableDrawing();
};

void TestIconImages::initTestCase()
{
    initKurvanIconResources();
    initKurvanIconResources(); // a second registration must not break or duplicate anything
}

void TestIconImages::rgbaRendering_data()
{
    QTest::addColumn<int>("size");
    for (const int size : kSizes)
        QTest::addRow("%d px", size) << size;
}

void TestIconImages::rgbaRendering()
{
    QFETCH(int, size);
    const QByteArray bytes = readAll(rgbaPath(size));
    QVERIFY2(!bytes.isEmpty(), qPrintable(rgbaPath(size)));

    const PngHeader header = readPngHeader(bytes);
    QCOMPARE(header.width, quint32(size));
    QCOMPARE(header.height, quint32(size));
    QCOMPARE(header.bitDepth, 8);
    QCOMPARE(header.colourType, kPngColourTypeRgba);

    const QImage image = QImage::fromData(bytes, "PNG");
    QCOMPARE(image.size(), QSize(size, size));
    QVERIFY(image.hasAlphaChannel());
    // The arch leaves the top corners free and the cabinet fills the middle: a lost alpha channel or a picture
    // flattened onto a background shows here.
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(size - 1, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
    // Anti-aliased edges need alpha levels between the two extremes.
    bool partial = false;
    for (int y = 0; y < size && !partial; ++y) {
        for (int x = 0; x < size && !partial; ++x) {
            const int a = qAlpha(image.pixel(x, y));
            partial = a > 0 && a < 255;
        }
    }
    QVERIFY2(partial, "no anti-aliased edge pixels");
}

void TestIconImages::paletteRendering_data()
{
    rgbaRendering_data();
}

void TestIconImages::paletteRendering()
{
    QFETCH(int, size);
    const QByteArray bytes = readAll(palettePath(size));
    QVERIFY2(!bytes.isEmpty(), qPrintable(palettePath(size)));

    const PngHeader header = readPngHeader(bytes);
    QCOMPARE(header.width, quint32(size));
    QCOMPARE(header.height, quint32(size));
    QCOMPARE(header.bitDepth, 8);
    QCOMPARE(header.colourType, kPngColourTypePalette);

    const QImage image = QImage::fromData(bytes, "PNG");
    QCOMPARE(image.size(), QSize(size, size));
    QCOMPARE(image.format(), QImage::Format_Indexed8);
    QVERIFY(image.colorCount() > 1);
    QVERIFY(image.colorCount() <= 256);
    // A 256-colour display knows only "drawn" and "not drawn": every palette entry is fully opaque or fully clear.
    for (const QRgb entry : image.colorTable())
        QVERIFY2(qAlpha(entry) == 0 || qAlpha(entry) == 255, qPrintable(QString::number(entry, 16)));
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
}

void TestIconImages::paletteMatchesRgba_data()
{
    rgbaRendering_data();
}

// The palette image must be the same picture reduced in colour, not another size or an older drawing.
void TestIconImages::paletteMatchesRgba()
{
    QFETCH(int, size);
    const QImage rgba = QImage(rgbaPath(size)).convertToFormat(QImage::Format_ARGB32);
    const QImage palette = QImage(palettePath(size)).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(rgba.size(), QSize(size, size));
    QCOMPARE(palette.size(), QSize(size, size));

    // Half-transparent edge pixels may fall either way; clearly drawn or clearly empty ones may not.
    constexpr int kClearlyEmpty = 64;
    constexpr int kClearlyDrawn = 192;
    // The palette has room for every colour of these small pictures but the gradients, so a reduced colour
    // stays close to the original; a different picture misses by far more.
    constexpr int kMaxChannelDifference = 24;
    int compared = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const QRgb want = rgba.pixel(x, y);
            const QRgb got = palette.pixel(x, y);
            const QByteArray where = QByteArray::number(x) + ',' + QByteArray::number(y);
            if (qAlpha(want) <= kClearlyEmpty) {
                QVERIFY2(qAlpha(got) == 0, where.constData());
            } else if (qAlpha(want) >= kClearlyDrawn) {
                QVERIFY2(qAlpha(got) == 255, where.constData());
                const int difference = std::max({std::abs(qRed(want) - qRed(got)), std::abs(qGreen(want) - qGreen(got)),
                                                 std::abs(qBlue(want) - qBlue(got))});
                QVERIFY2(difference <= kMaxChannelDifference, where.constData());
                ++compared;
            }
        }
    }
    QVERIFY(compared > size * size / 2);
}

void TestIconImages::iconServesEachRendering()
{
    const QIcon icon = kurvanIcon();
    QVERIFY(!icon.isNull());
    const QList<QSize> available = icon.availableSizes();
    QCOMPARE(available.size(), kSizes.size());
    for (const int size : kSizes) {
        QVERIFY2(available.contains(QSize(size, size)), qPrintable(QString::number(size)));
        // Each size is served from its own drawing, not scaled from another one. A pixmap holds premultiplied
        // pixels, so the drawing is compared in that form (the round trip back would blur the edges).
        const QImage served =
            icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const QImage drawn = QImage(rgbaPath(size)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(served.size(), QSize(size, size));
        QVERIFY2(served == drawn, qPrintable(QString::number(size)));
    }
}

void TestIconImages::scalableDrawing()
{
    QFile file(u":/icons/kurvan-client.svg"_s);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.name(), u"svg"_s);
    QCOMPARE(xml.namespaceUri(), u"http://www.w3.org/2000/svg"_s);
    // Icon themes place the drawing in a square; a non-square view box would be squeezed.
    const QStringList viewBox = xml.attributes().value(u"viewBox"_s).toString().split(u' ');
    QCOMPARE(viewBox.size(), 4);
    QCOMPARE(viewBox.at(2), viewBox.at(3));
    while (!xml.atEnd())
        xml.readNext();
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
}

QTEST_MAIN(TestIconImages)
#include "TestIconImages.moc"
