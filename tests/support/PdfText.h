// Reading a PDF file back as text, page by page, with pdftotext (poppler-utils).
#pragma once

#include <QStringList>

namespace cvb::test {

// The text of every page of `path`, laid out as on paper (pdftotext -layout); empty when the file
// cannot be read. Ligatures are read as their letters.
QStringList pdfPages(const QString &path);

// The lines of a page's text without their surrounding blanks, blank lines left out, inner runs of
// blanks shortened to one.
QStringList pageLines(const QString &page);

} // namespace cvb::test
