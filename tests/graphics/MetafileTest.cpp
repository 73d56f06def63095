#include "tests/graphics/GraphicsTestSupport.h"

#include "platform/graphics/Metafile.h"
#include "platform/graphics/Picture.h"
#include "tests/common/TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tovari {
namespace {

const quint32 kRedColorRef = 0x000000FF;

// An enhanced metafile of 200 x 100 pixels (at 96 dpi) whose left half is a red rectangle, or that
// draws the given record instead.
QByteArray RedLeftHalfEmf(const QByteArray& drawing = {})
{
    test::Bytes body;
    body.U32(39).U32(24).U32(1).U32(0).U32(kRedColorRef).U32(0);  // solid red brush as handle 1
    body.U32(37).U32(12).U32(1);                                  // select it
    body.U32(37).U32(12).U32(0x80000008);                         // stock NULL_PEN
    if (drawing.isEmpty())
        body.U32(43).U32(24).U32(0).U32(0).U32(100).U32(100);  // rectangle
    else
        body.Raw(drawing);
    body.U32(14).U32(20).U32(0).U32(16).U32(20);  // end of file
    test::Bytes emf;
    emf.U32(1).U32(88).U32(0).U32(0).U32(199).U32(99);  // bounds, device pixels
    emf.U32(0).U32(0).U32(5291).U32(2645);              // frame, 0.01 mm
    emf.U32(0x464D4520).U32(0x10000).U32(quint32(88 + body.Size())).U32(6).U16(2).U16(0).U32(0).U32(0).U32(0);
    emf.U32(1000).U32(1000).U32(254).U32(254);  // device pixels and millimetres: 96 dpi
    return emf.Raw(body.data).data;
}

// A placeable metafile of 200 x 100 units at 96 units per inch, origin (10, 20), whose left half is red.
QByteArray RedLeftHalfWmf()
{
    test::Bytes records;
    records.U32(5).U16(0x020B).U16(20).U16(10);                    // window origin (y, x)
    records.U32(5).U16(0x020C).U16(100).U16(200);                  // window extent (y, x)
    records.U32(7).U16(0x02FC).U16(0).U32(kRedColorRef).U16(0);    // solid red brush, object 0
    records.U32(4).U16(0x012D).U16(0);                             // select it
    records.U32(8).U16(0x02FA).U16(5).U16(0).U16(0).U32(0);        // null pen, object 1
    records.U32(4).U16(0x012D).U16(1);
    records.U32(7).U16(0x041B).U16(120).U16(110).U16(20).U16(10);  // rectangle (bottom, right, top, left)
    records.U32(3).U16(0);                                         // end of file
    test::Bytes placeable;
    placeable.U32(0x9AC6CDD7).U16(0).U16(10).U16(20).U16(210).U16(120).U16(96).U32(0);
    quint16 sum = 0;
    for (int i = 0; i < 20; i += 2)
        sum ^= quint16(uchar(placeable.data[i]) | uchar(placeable.data[i + 1]) << 8);
    placeable.U16(sum);
    placeable.U16(1).U16(9).U16(0x0300).U32(quint32((18 + records.Size()) / 2)).U16(2).U32(7).U16(0);  // header
    return placeable.Raw(records.data).data;
}

// Each kind loads by file name with its frame size and draws scaled; a file cut short anywhere, or a
// record claiming more bytes than the file has, is refused before it reaches the converters.
TEST(Metafile, LoadsItsFrameSizeDrawsScaledAndRefusesCutFiles)
{
    QTemporaryDir dir;
    QByteArray oversizedRecord = RedLeftHalfEmf();
    oversizedRecord[88 + 4] = char(0x7F);
    oversizedRecord[88 + 6] = char(0x7F);
    for (const auto& [file, whole, enhanced] : {std::tuple("drawing.emf", RedLeftHalfEmf(), true),
                                                std::tuple("drawing.WMF", RedLeftHalfWmf(), false)}) {
        SCOPED_TRACE(file);
        TPicture picture;
        picture.LoadFromFile(test::WriteFile(dir.filePath(file), whole));
        auto* metafile = dynamic_cast<TMetafile*>(picture.Graphic());
        ASSERT_NE(metafile, nullptr);
        EXPECT_EQ(metafile->Enhanced(), enhanced);
        EXPECT_EQ(QSize(metafile->Width(), metafile->Height()), QSize(200, 100));
        const QImage cell = test::DrawOnWhite(*metafile, QSize(100, 100), QRect(0, 25, 100, 50));
        EXPECT_TRUE(test::Near(cell.pixel(20, 50), qRgb(255, 0, 0))) << test::Describe(cell.pixel(20, 50)).toStdString();
        EXPECT_TRUE(test::Near(cell.pixel(80, 50), qRgb(255, 255, 255))) << test::Describe(cell.pixel(80, 50)).toStdString();
        EXPECT_EQ(cell.pixel(20, 10), qRgb(255, 255, 255));

        for (const QByteArray& broken : {whole.left(0), whole.left(10), whole.left(whole.size() / 2),
                                         whole.left(whole.size() - 2), enhanced ? oversizedRecord : whole.left(1)})
            EXPECT_THROW(test::LoadGraphic<TMetafile>(broken), EInvalidGraphic) << "size " << broken.size();
    }
}

// Records drawn from a box are read at their full size and their corners added in 32-bit integers by
// the converter: a record cut short, or a coordinate beyond the 27-bit drawing space, is refused.
TEST(Metafile, BoxRecordsMustBeWholeAndWithinTheDrawingSpace)
{
    const qint32 edge = (1 << 27) - 1;
    struct Case {
        quint32 type;
        QList<qint32> integers;  // box, then points or corner size
        bool loads;
    };
    const Case cases[] = {
        {43, {0, 0, edge, 100}, true},          // rectangle to the space's edge
        {43, {0, 0, edge + 1, 100}, false},
        {42, {-edge, 0, 100, 100}, true},       // ellipse
        {42, {-edge - 1, 0, 100, 100}, false},
        {44, {0, 0, 100, 100, 10, 10}, true},   // rounded rectangle
        {44, {0, 0, 100, 100, 10}, false},      // without its corner's height
        {47, {0, 0, 100, 100, 100, 50, 50, 0}, true},  // pie
        {47, {0, 0, 100, 100, 100, 50, 50, INT32_MIN}, false},
        {47, {1}, false},                       // the pie the fuzzer cut to 12 bytes
        {45, {0, 0, 100, 100, 100, 50, 50}, false},     // arc without its end point's y
        {55, {0, 0, 100, 100, 100, 50, 50, 0}, true},   // arc-to
    };
    for (const Case& c : cases) {
        test::Bytes record;
        record.U32(c.type).U32(quint32(8 + 4 * c.integers.size()));
        for (const qint32 value : c.integers)
            record.U32(quint32(value));
        EXPECT_EQ(test::Loads<TMetafile>(RedLeftHalfEmf(record.data)), c.loads)
            << "type " << c.type << ", " << c.integers.size() << " integers";
    }
}

// Text and font records: the fixed part, the characters, their advances and the logical font must lie in
// the record, where the converter reads them whatever the record's size.
TEST(Metafile, TextAndFontRecordsMustHoldWhatTheConverterReads)
{
    struct Case {
        const char* what;
        quint32 type;
        quint32 chars;
        quint32 offString;
        quint32 offDx;
        bool loads;
    };
    const Case cases[] = {
        {"wide text with advances", 84, 2, 76, 80, true},
        {"narrow text without advances", 83, 3, 76, 0, true},
        {"characters past the record", 84, 40, 76, 80, false},
        {"characters inside the fixed part", 84, 2, 40, 80, false},
        {"wide characters at an odd offset", 84, 2, 77, 80, false},
        {"advances past the record", 84, 2, 76, 84, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::Bytes record;
        record.U32(c.type).U32(88);
        for (const qint32 v : {0, 0, 100, 20, 1, 0, 0, 10, 10})  // bounds, mode, scales, reference point
            record.U32(quint32(v));
        record.U32(c.chars).U32(c.offString).U32(0);
        for (const qint32 v : {0, 0, 100, 20})
            record.U32(quint32(v));
        record.U32(c.offDx);
        record.U32(0x00620041).U32(8).U32(8);  // "Ab", then two advances
        EXPECT_EQ(test::Loads<TMetafile>(RedLeftHalfEmf(record.data)), c.loads);
    }
    // The record the fuzzer cut to 24 bytes.
    test::Bytes cut;
    cut.U32(84).U32(24).U32(0).U32(0).U32(100).U32(20);
    EXPECT_FALSE(test::Loads<TMetafile>(RedLeftHalfEmf(cut.data)));
    // A font record holds a whole logical font after its object index.
    for (const quint32 size : {104u, 100u}) {
        test::Bytes font;
        font.U32(82).U32(size).U32(1).U32(quint32(-12));  // index, height
        for (quint32 i = 16; i < size; i += 4)
            font.U32(0);
        EXPECT_EQ(test::Loads<TMetafile>(RedLeftHalfEmf(font.data)), size == 104) << size;
    }
}

}  // namespace
}  // namespace tovari
