// cvb-encode: encodes a file to uuencode, base64, quoted-printable or URL encoding, or decodes
// one, with the encoder component.
//
//   cvb-encode [--decode] --format uue|base64|qp|url [--max-size N] IN OUT
//
// With --max-size the encoded output is split over several files; a "?" in OUT numbers them
// (OUT "part?" gives part0.B64, part1.B64, ...). Decoding reads such a series when IN holds a "?".
#include "mail/NetCode.h"
#include "tools/HelpOption.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <stdexcept>

namespace {

const char *const usageText =
    "usage: cvb-encode [--decode] --format uue|base64|qp|url [--max-size N] IN OUT\n"
    "Encodes the file IN into OUT, or with --decode decodes IN into OUT.\n"
    "options:\n"
    "  --decode      decode instead of encode\n"
    "  --format F    uue (uuencode), base64, qp (quoted-printable) or url (URL encoding)\n"
    "  --max-size N  split the encoded output into files of at most N bytes; a \"?\" in OUT\n"
    "                numbers them (OUT \"part?\" gives part0.B64, part1.B64, ...) and their names\n"
    "                are printed. Decoding reads such a series when IN holds a \"?\".\n"
    "  --help        show this text and exit\n"
    "  --version     show the version and exit\n"
    "Exit status: 0 done, 1 an encoding error (its message on standard error), 2 a usage error.\n";

int usage(const char *problem)
{
    std::fprintf(stderr, "cvb-encode: %s\n%s", problem, usageText);
    return 2;
}

int formatByName(const QString &name)
{
    if (name == QLatin1String("uue"))
        return cvb::fmtUUE;
    if (name == QLatin1String("base64"))
        return cvb::fmtBASE64;
    if (name == QLatin1String("qp"))
        return cvb::fmtQP;
    if (name == QLatin1String("url"))
        return cvb::fmtURL;
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (const auto status = cvb::answerHelpOrVersion("cvb-encode", args, QString::fromLatin1(usageText)))
        return *status;
    bool decode = false;
    int format = -1;
    qint64 maxSize = 0;
    QStringList files;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--decode")) {
            decode = true;
        } else if (arg == QLatin1String("--format") && i + 1 < args.size()) {
            format = formatByName(args.at(++i));
            if (format < 0)
                return usage("unknown format (uue, base64, qp or url)");
        } else if (arg == QLatin1String("--max-size") && i + 1 < args.size()) {
            bool ok = false;
            maxSize = args.at(++i).toLongLong(&ok);
            if (!ok || maxSize < 0)
                return usage("--max-size needs a number of bytes");
        } else if (arg.startsWith(QLatin1String("--"))) {
            return usage("unknown option");
        } else {
            files << arg;
        }
    }
    if (format < 0)
        return usage("--format is required");
    if (files.size() != 2)
        return usage("IN and OUT are required");

    cvb::TcvbNetCode coder;
    coder.setObjectName(QStringLiteral("NetCode1"));
    coder.SetProgressStep(0);
    coder.SetOverwrite(true);
    coder.SetFormat(format);
    coder.SetMaxFileSize(maxSize);
    try {
        if (decode) {
            coder.SetEncodedData({files.at(0)});
            coder.SetDecodedData(QFile::encodeName(files.at(1)));
            coder.SetAction(cvb::ntcDecodeToFile);
        } else {
            coder.SetDecodedData(QFile::encodeName(files.at(0)));
            coder.SetEncodedData({files.at(1)});
            coder.SetFileName(QFileInfo(files.at(0)).fileName());
            coder.SetAction(cvb::ntcEncodeToFile);
            if (coder.EncodedData().size() > 1 || files.at(1).contains(QLatin1Char('?'))) {
                for (const QString &name : coder.EncodedData())
                    std::printf("%s\n", qPrintable(name));
            }
        }
    } catch (const cvb::EcvbComponent &e) {
        std::fprintf(stderr, "cvb-encode: %s\n", e.what());
        return 1;
    }
    return 0;
}
