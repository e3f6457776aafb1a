// A sample web site for the backup tests and benchmarks, and a byte-for-byte tree comparison.
#pragma once

#include <QString>
#include <QStringList>

namespace cvb::test {

// Builds below `root`:
//   www/index.html                  a page (the file source of the sample profile)
//   www/site/...                    a folder source, three levels and more below it: pages,
//                                   pictures, .htaccess files, names with spaces, an empty
//                                   folder and one file of `bigFileBytes` bytes
//   cgi-bin/...                     a second folder source, one level higher
//   www/not-a-source.html           a page that no source names
// Files that the backup fetches in ASCII mode (.htm, .html, .txt, .dat, no extension) hold
// text with LF line ends; the others hold arbitrary bytes, CR and LF among them.
// Returns the number of files made below www/site and cgi-bin together with www/index.html.
int buildSampleSite(const QString &root, qint64 bigFileBytes);

// Everything that differs between two folder trees: names present on one side only (files
// and folders, empty ones and dot files included; a backup's manifest at the top of `actual`
// aside) and files whose bytes differ. Empty when the trees are equal.
QStringList treeDifferences(const QString &expected, const QString &actual);

// The local tree that a backup of the sample profile must produce, made by copying from the
// sample site: index.html, site/ and cgi-bin/ below `target`.
void copyExpectedBackup(const QString &siteRoot, const QString &target);

} // namespace cvb::test
