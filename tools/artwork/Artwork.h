#pragma once
// Everything the generator writes, drawn in memory: the same calls always
// give the same bytes (fixed sizes, fixed colours, no time or randomness).

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

namespace artwork {

struct PictureFile {
    QString name;      // file name inside the pictures folder
    QByteArray bytes;  // the file's content
    QImage picture;    // what it shows (null for generated source files)
};

QList<PictureFile> DrawAll();

}  // namespace artwork
