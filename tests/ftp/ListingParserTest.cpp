// Reading listings, FEAT replies and modification times: tables of lines in the forms real servers
// write (pyftpdlib's and vsftpd's captured as they came), odd and hostile lines, and the listings
// of a real pyftpdlib and vsftpd read back against the folder they serve.
#include "ftp/ListingParser.h"
#include "ftp/FtpClient.h"
#include "tests/support/Files.h"
#include "tests/support/FtpServer.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace cvb::ftp;

namespace {

constexpr auto U = LineKind::Unparsed, I = LineKind::Ignore, E = LineKind::Entry;
constexpr auto File = EntryType::File, Dir = EntryType::Folder, Link = EntryType::Link,
               Other = EntryType::Unknown;

struct Case
{
    const char *line;
    LineKind kind;
    const char *name = "";
    EntryType type = Other;
    qint64 size = -1;
    const char *modified = ""; // yyyyMMddHHmmss in UTC; empty: not known
    const char *target = "";
};

const QDateTime now(QDate(2025, 3, 15), QTime(12, 0), Qt::UTC);

void expectParsed(const ParsedLine &p, const Case &c, bool exact)
{
    SCOPED_TRACE(c.line);
    ASSERT_EQ(p.kind, c.kind);
    if (c.kind != E)
        return;
    EXPECT_EQ(p.entry.name.toStdString(), c.name);
    EXPECT_EQ(p.entry.type, c.type);
    EXPECT_EQ(p.entry.size, c.size);
    EXPECT_EQ(p.entry.modified.toString("yyyyMMddHHmmss").toStdString(), c.modified);
    EXPECT_TRUE(!p.entry.modified.isValid() || p.entry.modified.timeSpec() == Qt::UTC);
    EXPECT_EQ(p.entry.modifiedExact, exact && p.entry.modified.isValid());
    EXPECT_EQ(p.entry.linkTarget.toStdString(), c.target);
}

// Lines that pyftpdlib wrote: three of LIST, two of MLSD.
const QStringList pyftpdlibLines{
    "-rw-r--r--   1 root     root            2 Dec 10 07:31   lead blank",
    "lrwxrwxrwx   1 root     root            8 Dec 10 07:31 link -> file.txt",
    "-rw-r--r--   1 root     root            2 Jan 02  2024 name with blank.txt",
    "modify=20261210073122;perm=eldfmcp;size=4096;type=dir;unique=fe00ga7217e; sub",
    "modify=20261210073122;perm=radfw;size=2;type=file;unique=fe00ga72180;   lead blank"};

} // namespace

TEST(ListingParser, ListLinesOfRealServersAndOddForms)
{
    const Case cases[] = {
        // pyftpdlib and vsftpd as they wrote them: HH:MM dates of last December, leading blanks kept.
        {"-rw-r--r--   1 root     root            2 Dec 10 07:31   lead blank", E, "  lead blank", File, 2,
         "20241210073100"},
        {"lrwxrwxrwx   1 root     root            8 Dec 10 07:31 link -> file.txt", E, "link", Link, 8,
         "20241210073100", "file.txt"},
        {"-rw-r--r--   1 root     root            2 Jan 02  2024 name with blank.txt", E,
         "name with blank.txt", File, 2, "20240102000000"},
        {"drwxr-xr-x   2 root     root         4096 Dec 10 07:31 sub", E, "sub", Dir, 4096, "20241210073100"},
        {"-rw-r--r--    1 1000     1000           12 Jan 02 03:04 name", E, "name", File, 12,
         "20250102030400"},
        {"drwxr-xr-x    3 0        0            4096 Dec 10 07:31 ..", I},
        // With and without the group, ACL marks, device files, owners named like months.
        {"-rw-r--r--   1 ftpuser  ftpgroup  12345 Mar 14 09:15 report.pdf", E, "report.pdf", File, 12345,
         "20250314091500"},
        {"-rw-r--r-- 1 owner 12 Jan  2  2024 x", E, "x", File, 12, "20240102000000"},
        {"-rw-r--r--+ 1 web web 5 Feb 28  2023 acl", E, "acl", File, 5, "20230228000000"},
        {"drwxr-xr-x. 2 web web 0 FEB 28 23:59 ctx", E, "ctx", Dir, 0, "20250228235900"},
        {"crw-rw-rw-   1 0  0  1,   3 Jan 02  2024 null", E, "null", Other, -1, "20240102000000"},
        {"brw-rw----   1 0  6    8,0 Jan 02  2024 sda", E, "sda", Other, -1, "20240102000000"},
        {"-rw-r--r-- 1 jan dec 7 Mar 01  2024 may", E, "may", File, 7, "20240301000000"},
        // Dates, arrows and slashes inside names stay; only a link's arrow divides.
        {"-rw-r--r-- 1 u g 1 Jan 02  2024 Feb 03  2023 x", E, "Feb 03  2023 x", File, 1, "20240102000000"},
        {"-rw-r--r-- 1 u g 3 Jan 02  2024 a -> b ", E, "a -> b ", File, 3, "20240102000000"},
        {"lrwxrwxrwx 1 u g 6 Jan 02  2024 my link -> ../a b", E, "my link", Link, 6, "20240102000000",
         "../a b"},
        {"lrwxrwxrwx 1 u g 1 Jan 02  2024 lonely", E, "lonely", Link, 1, "20240102000000"},
        {"-rw-r--r-- 1 u g 1 Jan 02  2024 a/b", E, "a/b", File, 1, "20240102000000"},
        // Sizes beyond 32 bits are read, beyond 64 bits not known; a day that does not exist.
        {"-rw-r--r-- 1 u g 5000000000 Jan 02  2024 dvd", E, "dvd", File, 5000000000LL, "20240102000000"},
        {"-rw-r--r-- 1 u g 99999999999999999999 Jan 02  2024 big", E, "big", File, -1, "20240102000000"},
        {"-rw-r--r-- 1 u g 1 Feb 30  2024 odd", E, "odd", File, 1},
        // DOS/IIS on both clocks; a size is followed by one blank, the <DIR> column is padded.
        {"01-02-25  03:04PM       <DIR>          name with blank", E, "name with blank", Dir, -1,
         "20250102150400"},
        {"01-02-2025  15:04  1234 file.txt", E, "file.txt", File, 1234, "20250102150400"},
        {"12-31-99  12:00AM                    5 old.txt", E, "old.txt", File, 5, "19991231000000"},
        {"07-04-24  12:30pm                    0 noon", E, "noon", File, 0, "20240704123000"},
        {"01-02-25  03:04PM                 1234  lead", E, " lead", File, 1234, "20250102150400"},
        {"01-02-25  03:04PM       <DIR>          .", I},
    };
    for (const Case &c : cases)
        expectParsed(parseListLine(QString::fromUtf8(c.line), now), c, false);
    for (const char *line : {"total 0", "total 12K", "", "   "})
        EXPECT_EQ(parseListLine(QString::fromUtf8(line), now).kind, I) << line;
    // Junk and near misses.
    for (const char *line : {"hello world",
                             "550 No files found",
                             "total",
                             "total files",
                             "-rw-r--r--",
                             "-rw-r--r-- 1 u g 12 Jan 02  2024",
                             "-rw-r--r-- 1 u g 12 Jan 02  2024 ",
                             "-rw-r--r-- 1 u g 12 Foo 02  2024 x",
                             "-rw-r--r-- 1 u g 12 Jan 32  2024 x",
                             "-rw-r--r-- 1 u g 12 Jan 02 24:00 x",
                             "-rw-r--r-- 1 u g 1.2K Jan 02  2024 x",
                             "drwxr-xr-x 1 a b c 12 Jan 02  2024 four-owner-words",
                             "-rw-r--r-- 12 Jan 02  2024 x",
                             "xrw-r--r-- 1 u g 1 Jan 02  2024 x",
                             " -rw-r--r-- 1 u g 1 Jan 02  2024 x",
                             "lrwxrwxrwx 1 u g 1 Jan 02  2024  -> x",
                             "-rw-r--r-- 1 u g \xef\xbc\x91 Jan 02  2024 x",
                             "01-02-25  13:04PM                 1 x",
                             "13-02-25  03:04PM                 1 x",
                             "01-02-25  03:04PM       <JUNCTION>     x",
                             "01-02-25  03:04PM       <DIR>          "})
        EXPECT_EQ(parseListLine(QString::fromUtf8(line), now).kind, U) << line;
}

TEST(ListingParser, AnHhMmDateTakesTheLatestYearAtMostThreeMonthsAhead)
{
    const auto dated = [](const char *date, const QDateTime &at) {
        const QString line = QStringLiteral("-rw-r--r-- 1 u g 1 %1 f").arg(QLatin1String(date));
        return parseListLine(line, at).entry.modified.toString("yyyyMMddHHmm").toStdString();
    };
    EXPECT_EQ(dated("Jun 15 12:00", now), "202506151200");
    EXPECT_EQ(dated("Jun 16 00:00", now), "202406160000");
    EXPECT_EQ(dated("Jan 02 08:00", QDateTime(QDate(2025, 12, 30), QTime(0, 0), Qt::UTC)), "202601020800");
    EXPECT_EQ(dated("Feb 29 10:00", QDateTime(QDate(2024, 3, 1), QTime(0, 0), Qt::UTC)), "202402291000");
    EXPECT_EQ(dated("Jan 02 08:00", QDateTime()), "");
}

TEST(ListingParser, MlsdLinesWithTheirFactsInAnyCase)
{
    const Case cases[] = {
        {"modify=20240102030405;perm=radfw;size=2;type=file;unique=fe00ga72181; name with blank.txt", E,
         "name with blank.txt", File, 2, "20240102030405"},
        {"modify=20261210073122;perm=eldfmcp;size=4096;type=dir;unique=fe00ga7217e; sub", E, "sub", Dir, 4096,
         "20261210073122"},
        {"modify=20261210073122;perm=radfw;size=2;type=file;unique=fe00ga72180;   lead blank", E,
         "  lead blank", File, 2, "20261210073122"},
        {"Type=DIR;Modify=20250102030405.123;Size=0; Mixed", E, "Mixed", Dir, 0, "20250102030405"},
        {"type=OS.unix=slink:/var/www/t;modify=20250102030405; l", E, "l", Link, -1, "20250102030405",
         "/var/www/t"},
        {"type=os.unix=symlink;size=3; s", E, "s", Link, 3},
        {"type=OS.unix=chr-1/3; null", E, "null", Other},
        {"size=10;type=file;  two blanks and trailing  ", E, " two blanks and trailing  ", File, 10},
        {"type=file;size=99999999999999999999; big", E, "big", File, -1},
        {"type=file;size=12x;modify=2025010203; odd", E, "odd", File, -1},
        {"type=file;modify=20251302030405; month13", E, "month13", File},
        {" nofacts", E, "nofacts", Other},
        {"type=file; a; b", E, "a; b", File},
        {"type=file; ../x", E, "../x", File},
        {"type=cdir;modify=20250102030405; .", I},
        {"type=pdir; /some/where", I},
        {"type=file; ..", I},
        {"", I},
        {"type=file;size=1;name", U},
        {"type=file; ", U},
        {"type=file;broken; x", U},
        {"=file; x", U},
        {"hello", U},
    };
    for (const Case &c : cases)
        expectParsed(parseMlsdLine(QString::fromUtf8(c.line)), c, true);
}

TEST(ListingParser, AWholeListingKeepsTheOrderAndSaysWhetherEveryLineWasRead)
{
    QStringList lines{"total 6", "drwxr-xr-x 3 0 0 4096 Dec 10 07:31 .", pyftpdlibLines[0], pyftpdlibLines[1],
                      pyftpdlibLines[2]};
    Listing listing = parseList(lines, now);
    EXPECT_TRUE(listing.allParsed);
    QStringList names;
    for (const ListedEntry &e : listing.entries)
        names << e.name;
    EXPECT_EQ(names, QStringList({"  lead blank", "link", "name with blank.txt"}));
    listing = parseList(lines << "Permission denied"
                              << "",
                        now);
    EXPECT_FALSE(listing.allParsed);
    EXPECT_EQ(listing.entries.size(), 3);

    listing = parseMlsd(pyftpdlibLines.mid(3));
    EXPECT_TRUE(listing.allParsed);
    ASSERT_EQ(listing.entries.size(), 2);
    EXPECT_EQ(listing.entries[1].name, "  lead blank");
    EXPECT_FALSE(parseMlsd(lines.mid(2, 1)).allParsed); // a LIST line is no MLSD line
    EXPECT_TRUE(parseList({}, now).allParsed);
}

// Real lines cut, blanked and garbled at random: nothing crashes, and an entry's name is always
// the end of its line (or of the part before " -> " for a link), never "." or "..".
TEST(ListingParser, NoLineEverGivesANameItDoesNotEndWith)
{
    QRandomGenerator random(28);
    const QStringList seeds =
        pyftpdlibLines + QStringList{"01-02-25  03:04PM       <DIR>          name with blank",
                                     "crw-rw-rw-   1 0        0          1,   3 Jan 02  2024 null"};
    const QString noise = QStringLiteral(" ;=,-:./<>0123456789JanPMdlrwx\t\u00e9\u0000");
    int entries = 0;
    for (int round = 0; round < 20000; ++round) {
        QString line = seeds[random.bounded(int(seeds.size()))];
        for (int edits = random.bounded(1, 5); edits > 0 && !line.isEmpty(); --edits) {
            const int at = random.bounded(int(line.size()));
            const QChar c = noise[random.bounded(int(noise.size()))];
            const int how = random.bounded(3);
            if (how == 0)
                line.remove(at, random.bounded(1, 4));
            else if (how == 1)
                line.insert(at, c);
            else
                line[at] = c;
        }
        const ParsedLine list = parseListLine(line, now), mlsd = parseMlsdLine(line);
        for (const ParsedLine *p : {&list, &mlsd}) {
            if (p->kind != E)
                continue;
            ++entries;
            const ListedEntry &e = p->entry;
            const bool listLink = p == &list && !e.linkTarget.isEmpty();
            ASSERT_FALSE(e.name.isEmpty()) << line.toStdString();
            ASSERT_TRUE(line.endsWith(listLink ? e.name + " -> " + e.linkTarget : e.name))
                << line.toStdString();
            ASSERT_TRUE(e.name != "." && e.name != "..") << line.toStdString();
        }
    }
    EXPECT_GT(entries, 1000); // the garbling leaves many lines readable
}

TEST(ServerFeatures, RealFeatRepliesAndOddForms)
{
    ServerFeatures f =
        parseFeatures({"211-Features supported:", " EPRT", " EPSV", " MDTM", " MFMT",
                       " MLST type*;perm*;size*;modify*;unique*;unix.mode;unix.uid;unix.gid;", " REST STREAM",
                       " SIZE", " TVFS", " UTF8", "211 End FEAT."}); // pyftpdlib
    EXPECT_TRUE(f.mlsd && f.epsv && f.restStream && f.mdtm && f.size && f.utf8);
    EXPECT_EQ(f.mlstFacts,
              QStringList({"type", "perm", "size", "modify", "unique", "unix.mode", "unix.uid", "unix.gid"}));
    EXPECT_EQ(f.otherCommands, QStringList({"EPRT", "MFMT", "TVFS"}));

    f = parseFeatures({"211-Features:", " EPRT", " EPSV", " MDTM", " PASV", " REST STREAM", " SIZE", " TVFS",
                       "211 End"}); // vsftpd
    EXPECT_FALSE(f.mlsd);
    EXPECT_FALSE(f.utf8);
    EXPECT_TRUE(f.epsv && f.restStream && f.mdtm && f.size);

    f = parseFeatures({"211-Extensions supported:\r\n", " AUTH TLS", " hash SHA-256*;SHA-1;md5", " xsha256",
                       " mlsd\r\n", " rest", "211-EPSV", " Lang EN*", "211 End", " MDTM"});
    EXPECT_TRUE(f.mlsd && f.epsv);
    EXPECT_FALSE(f.restStream || f.mdtm); // REST without STREAM; nothing after the end counts
    EXPECT_TRUE(f.mlstFacts.isEmpty());
    EXPECT_EQ(f.hashes, QStringList({"SHA-256", "SHA-1", "MD5"}));
    EXPECT_EQ(f.hashDefault, "SHA-256");
    EXPECT_EQ(f.otherCommands, QStringList({"AUTH", "XSHA256", "REST", "LANG"}));

    for (const QList<QByteArray> &none : QList<QList<QByteArray>>{{"211 No features"}, {"500 FEAT?"}, {}}) {
        f = parseFeatures(none);
        EXPECT_FALSE(f.mlsd || f.epsv || f.size);
        EXPECT_TRUE(f.otherCommands.isEmpty());
    }
}

TEST(ListingParser, MdtmRepliesAndModifyFactsAreExactOrNotKnown)
{
    const auto iso = [](const QDateTime &t) { return t.toString(Qt::ISODate).toStdString(); };
    EXPECT_EQ(iso(parseMdtmReply("213 20250102030405")), "2025-01-02T03:04:05Z");
    EXPECT_EQ(iso(parseMdtmReply("213 20250102030405.678\r\n")), "2025-01-02T03:04:05Z");
    EXPECT_EQ(parseMdtmReply("213 20250102030405").timeSpec(), Qt::UTC);
    for (const char *bad :
         {"550 file.txt: No such file", "213 2025", "213 20250230030405", "213 20250102250405",
          "213 2025010203040x", "213-20250102030405", "", "213 20250102030405.", "213 "})
        EXPECT_FALSE(parseMdtmReply(bad).isValid()) << bad;

    EXPECT_EQ(iso(parseFactTime("20250102030405.5")), "2025-01-02T03:04:05Z");
    for (const char *bad : {"+2025010203040", "2025-01-02 03:04", "20250102030460",
                            "\xef\xbc\x92"
                            "0250102030405"})
        EXPECT_FALSE(parseFactTime(QString::fromUtf8(bad)).isValid()) << bad;
}

// LIST -a of one folder from pyftpdlib and vsftpd, read back: every entry with its type, size and
// date (the old file in the year form, the recent one in the HH:MM form), and nothing else.
TEST(ListingParserLive, ListingsOfPyftpdlibAndVsftpdReadBackTheFolder)
{
    cvb::test::PyFtpServer py;
    ASSERT_TRUE(py.isListening()) << py.error().toStdString();
    const QDir root(py.root());
    const QDateTime old(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC);
    const QDateTime recent = QDateTime::currentDateTimeUtc().addDays(-1);
    const auto make = [&](const QString &name, const QByteArray &bytes, const QDateTime &time) {
        ASSERT_TRUE(cvb::test::writeFile(root.filePath(name), bytes));
        QFile f(root.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.setFileTime(time, QFileDevice::FileModificationTime));
    };
    make("file.txt", "hello\n", old);
    make("  lead blank", "xy", recent);
    make(".htaccess", "deny", old);
    make("name with blank.txt", "abc", recent);
    ASSERT_TRUE(root.mkdir("sub"));
    ASSERT_TRUE(QFile::link("file.txt", root.filePath("link")));
    const auto minute = [](QDateTime t) { return t.addSecs(-t.time().second()).addMSecs(-t.time().msec()); };
    const QMap<QString, std::tuple<EntryType, qint64, QDateTime>> expected{
        {"file.txt", {File, 6, QDateTime(old.date(), QTime(0, 0), Qt::UTC)}},
        {"  lead blank", {File, 2, minute(recent)}},
        {".htaccess", {File, 4, QDateTime(old.date(), QTime(0, 0), Qt::UTC)}},
        {"name with blank.txt", {File, 3, minute(recent)}},
        {"link", {Link, 8, {}}}};

    cvb::test::VsftpdServer vs(py.root());
    ASSERT_TRUE(vs.isListening()) << vs.error().toStdString();
    for (const int port : {py.port(), vs.port()}) {
        SCOPED_TRACE(port == py.port() ? "pyftpdlib" : "vsftpd");
        cvb::TcvbFTP ftp;
        ftp.SetWinsockLoaded(true);
        ftp.SetControlPort(std::uint16_t(port));
        ftp.SetRemoteHost(QStringLiteral("127.0.0.1"));
        ftp.SetUser(port == py.port() ? py.user() : QStringLiteral("anonymous"));
        ftp.SetPassword(py.password());
        ftp.SetPassive(true);
        QStringList lines;
        ftp.OnDirList = [&](QObject *, const QString &line) { lines << line; };
        ftp.SetRemoteFile(QStringLiteral("-a"));
        ftp.SetAction(cvb::ftpListDirectoryLong);
        ftp.SetAction(cvb::ftpLogoff);

        const Listing listing = parseList(lines, QDateTime::currentDateTimeUtc());
        EXPECT_TRUE(listing.allParsed) << lines.join('\n').toStdString();
        QMap<QString, std::tuple<EntryType, qint64, QDateTime>> got;
        for (const ListedEntry &e : listing.entries) {
            EXPECT_FALSE(e.modifiedExact);
            EXPECT_EQ(e.linkTarget, e.type == Link ? "file.txt" : "") << e.name.toStdString();
            if (e.type == Dir)
                EXPECT_EQ(e.name, "sub");
            else
                got.insert(e.name, {e.type, e.size, e.type == Link ? QDateTime() : e.modified});
        }
        EXPECT_EQ(got, expected);
        EXPECT_EQ(listing.entries.size(), expected.size() + 1);
    }
}
