// The four transfer encodings of the encoder component, as conversions from one stream to
// another. Each returns 0 or a code of the encoder's error table (the failure that stopped it;
// the streams' own pending errors are collected by the caller).
#pragma once

#include "mail/NetCodeStreams.h"

#include <functional>

namespace cvb::netcode {

// maxFileSize: 0 for one output, otherwise the size after which the output moves to its next part.
int encodeBase64(MyStream &in, MyStream &out, qint64 maxFileSize);
int encodeQuotedPrintable(MyStream &in, MyStream &out, qint64 maxFileSize);
int encodeUrl(MyStream &in, MyStream &out);
int encodeUue(MyStream &in, MyStream &out, qint64 maxFileSize, const QByteArray &fileName,
              const QByteArray &mode);

int decodeBase64(MyStream &in, MyStream &out);
int decodeQuotedPrintable(MyStream &in, MyStream &out);
int decodeUrl(MyStream &in, MyStream &out);

// The output of a uudecode is chosen once the "begin" line has given its file name.
struct UueOutput
{
    // Returns the stream to write to, or null with *error set.
    std::function<MyStream *(const QString &nameInBeginLine, int *error)> open;
};
// mode receives the permission digits of the "begin" line.
int decodeUue(MyStream &in, const UueOutput &output, bool intelliCode, QString *mode);

} // namespace cvb::netcode
