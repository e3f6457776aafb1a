// --help and --version, alike in every command-line tool: the usage on standard output and exit 0.
// The manual pages are checked against the --help texts, so keep every option in the usage.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace cvb {

// When `arguments` (without the program name) is "--help"/"-h" or "--version", prints the answer
// and returns the exit status; otherwise returns nothing and the tool goes on.
inline std::optional<int> answerHelpOrVersion(const char *tool, const QStringList &arguments,
                                              const QString &usage)
{
    if (arguments.size() != 1)
        return std::nullopt;
    QString text;
    if (arguments[0] == QLatin1String("--help") || arguments[0] == QLatin1String("-h"))
        text = usage;
    else if (arguments[0] == QLatin1String("--version"))
        text = QString::fromLatin1(tool) + QStringLiteral(" ") + QStringLiteral(CVB_VERSION);
    else
        return std::nullopt;
    if (!text.endsWith(QLatin1Char('\n')))
        text += QLatin1Char('\n');
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    return 0;
}

} // namespace cvb
