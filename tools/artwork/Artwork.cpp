#include "Artwork.h"

#include "BitmapFile.h"
#include "Glyphs.h"
#include "SourceEmitter.h"

namespace artwork {

QList<PictureFile> DrawAll() {
    QList<PictureFile> files;
    auto addBmp32 = [&files](const QString& name, const QImage& img) {
        files.append({name, EncodeBitmap32(img), img});
    };
    addBmp32("connect.bmp", ConnectGlyph());
    addBmp32("connected.bmp", ConnectedGlyph());
    addBmp32("load.bmp", LoadGlyph());
    addBmp32("send.bmp", SendGlyph());

    const QByteArray connected = files[1].bytes;
    const EmittedSource src = EmitByteArray("ConnectedGlyphData", connected, "connected.bmp");
    files.append({"ConnectedGlyphData.h", src.header, {}});
    files.append({"ConnectedGlyphData.cpp", src.source, {}});
    return files;
}

}  // namespace artwork
