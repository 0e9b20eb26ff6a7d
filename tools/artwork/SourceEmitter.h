#pragma once
// Turns a file's bytes into a C++ constant: a header declaring
// `extern const unsigned char NAME[SIZE];` and a source file defining it.

#include <QByteArray>
#include <QString>

namespace artwork {

struct EmittedSource {
    QByteArray header;
    QByteArray source;
};

// `origin` names the picture the bytes came from, for the generated comment.
EmittedSource EmitByteArray(const QString& name, const QByteArray& bytes, const QString& origin);

}  // namespace artwork
