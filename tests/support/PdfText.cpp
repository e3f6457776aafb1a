#include "tests/support/PdfText.h"

#include "tests/support/Peers.h"

#include <QRegularExpression>

namespace cvb::test {

QStringList pdfPages(const QString &path)
{
    const ProcessResult result = runProcess(QStringLiteral("pdftotext"),
                                            {QStringLiteral("-layout"), path, QStringLiteral("-")}, 120000);
    if (result.exitCode != 0)
        return {};
    // Compatibility forms undo the typesetter's ligatures ("fi" set as one glyph).
    QStringList pages =
        QString::fromUtf8(result.out).normalized(QString::NormalizationForm_KC).split(QLatin1Char('\f'));
    // pdftotext ends every page with a form feed, the last one too.
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

QStringList pageLines(const QString &page)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QStringList lines;
    for (const QString &line : page.split(QLatin1Char('\n'))) {
        const QString simple = line.trimmed().replace(blanks, QStringLiteral(" "));
        if (!simple.isEmpty())
            lines << simple;
    }
    return lines;
}

} // namespace cvb::test
