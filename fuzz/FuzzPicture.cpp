// One picture reader per build of this file (TOVARI_FUZZ_GRAPHIC): load from bytes as from a file,
// draw the thumbnail, then the full-size picture as the full-size view does.
#include "fuzz/FuzzSupport.h"

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Icon.h"
#include "platform/graphics/JpegImage.h"
#include "platform/graphics/Metafile.h"

#include <QBuffer>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    tovari::fuzz::StartGui();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QBuffer buffer;
    buffer.setData(tovari::fuzz::Bytes(data, size));
    buffer.open(QIODevice::ReadOnly);
    tovari::TOVARI_FUZZ_GRAPHIC graphic;
    try {
        graphic.LoadFromStream(buffer);
    } catch (const tovari::Exception&) {
        return 0;
    }
    try {
        tovari::fuzz::DrawThumbnail(graphic);
        (void)graphic.ToImage();
    } catch (const tovari::Exception&) {
        // A picture may load and still fail to draw (data cut short); it must fail cleanly.
    }
    return 0;
}
