#include "data/TransferMode.h"

namespace cvb {

const QStringList &defaultAsciiExtensions()
{
    static const QStringList list{QStringLiteral("dat"), QStringLiteral("htm"), QStringLiteral("tml"),
                                  QStringLiteral("txt"), QStringLiteral("tml")};
    return list;
}

bool HasExtension(const QString &name)
{
    return name.size() >= 4 && name.contains(QLatin1Char('.'));
}

bool IsAsciiExtension(const QString &name, const QStringList &asciiExtensions)
{
    return asciiExtensions.contains(name.right(3).toLower());
}

TransferMode transferModeFor(const QString &name, const QStringList &asciiExtensions)
{
    if (!HasExtension(name))
        return TransferMode::Ascii;
    return IsAsciiExtension(name, asciiExtensions) ? TransferMode::Ascii : TransferMode::Binary;
}

QString transferModeText(TransferMode mode)
{
    return mode == TransferMode::Binary ? QStringLiteral("Binary") : QStringLiteral("ASCII");
}

TransferMode transferModeFromText(const QString &text)
{
    return text == QLatin1String("Binary") ? TransferMode::Binary : TransferMode::Ascii;
}

} // namespace cvb
