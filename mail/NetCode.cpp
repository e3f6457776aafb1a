#include "mail/NetCode.h"

#include "mail/NetCodeFormats.h"
#include "mail/NetCodeStreams.h"

#include <QFile>

#include <iterator>
#include <memory>
#include <stdexcept>

namespace cvb {

namespace {

const char *const kErrorTexts[] = {
    "The starting 'begin' was not found. Is it uuencoded data?",
    "Short uuencoded file",
    "The closing 'end' was not found",
    "Can't create for write (illegal name or disk is write protected)",
    "Can't open for read (doesn't exist?)",
    "Can't read from file",
    "Can't write to file (disk full?)",
    "Please supply a filename for uuencoded data",
    "File exists and 'Overwrite' was set to 'False'",
    "There's not enough space in output string",
    "The given filenames are insuficent to split all the encoded data",
    "Please supply a filename for the encoded data",
    "Encoded data is required to be written in more than 100 files?!",
    "Couldn't create file. Permission denied",
    "Couldn't write to file. Media full!",
    "Too many open files. No more file handles are available, so no more files can be opened.",
    "The given filename doesn't exist",
    "There are no more files where to read from or write to",
};

QString pathOf(const QByteArray &data)
{
    return QFile::decodeName(data);
}

// An encoder's result: the failure that stopped it, else the input's, else the output's error.
int encoderResult(int failure, MyStream &in, MyStream &out)
{
    const int inError = in.TakeError();
    const int outError = out.Close();
    if (failure != ncOk)
        return failure;
    return inError != ncOk ? inError : outError;
}

// A decoder's result: its own failure, else the output's error, else the input's, where running
// out of input files is the normal end.
int decoderResult(int failure, MyStream &in, MyStream *out)
{
    const int outError = out ? out->Close() : ncOk;
    int inError = in.TakeError();
    if (inError == ncNoMoreFiles)
        inError = ncOk;
    if (failure != ncOk)
        return failure;
    return outError != ncOk ? outError : inError;
}

} // namespace

TcvbNetCode::TcvbNetCode(QObject *parent) : TcvbComponent(parent)
{
}

void TcvbNetCode::SetProgressStep(int step)
{
    if (step < 0 || step > 100)
        throw std::invalid_argument("Invalid Value for ProgressStep");
    m_progressStep = step;
}

void TcvbNetCode::SetFormat(int format)
{
    if (format < fmtUUE || format > fmtURL)
        throw std::invalid_argument("Invalid Value for Format");
    m_format = TFmt(format);
}

void TcvbNetCode::Assign(const TcvbNetCode &other)
{
    m_progressStep = other.m_progressStep;
    m_fileName = other.m_fileName;
    m_decodedData = other.m_decodedData;
    m_encodedData = other.m_encodedData;
    m_overwrite = other.m_overwrite;
    m_intelliCode = other.m_intelliCode;
    m_format = other.m_format;
    m_maxFileSize = other.m_maxFileSize;
    m_mode = other.m_mode;
    OnProgress = other.OnProgress;
}

QString TcvbNetCode::ErrorText(int code)
{
    if (code >= 1 && code <= int(std::size(kErrorTexts)))
        return QString::fromLatin1(kErrorTexts[code - 1]);
    return DescribeError(code);
}

std::exception_ptr TcvbNetCode::CreateError(int code, const QString &text)
{
    return std::make_exception_ptr(EcvbNetCode(code, text));
}

void TcvbNetCode::SetAction(int action)
{
    if (action < ntcIdle || action > ntcEncodeToString)
        throw std::invalid_argument("Invalid Action Value");
    if (action == ntcIdle)
        return;
    SetLastError(0, {});
    m_action = action;
    int code = ncOk;
    try {
        code = run(action);
    } catch (...) {
        m_action = ntcIdle;
        throw;
    }
    m_action = ntcIdle;
    if (code == ncOk)
        return;
    if (m_format == fmtUUE && (action == ntcDecodeToFile || action == ntcDecodeToString))
        m_mode = QStringLiteral("600");
    ReportError(code, ErrorText(code));
}

int TcvbNetCode::run(int action)
{
    switch (action) {
    case ntcDecodeToFile:
        return decodeToFile();
    case ntcEncodeToFile:
        return encodeToFile();
    case ntcDecodeToString:
        return decodeToString();
    case ntcEncodeToString:
        return encodeToString();
    default:
        return ncOk;
    }
}

QString TcvbNetCode::partExtension() const
{
    switch (m_format) {
    case fmtUUE:
        return QStringLiteral(".UUE");
    case fmtBASE64:
        return QStringLiteral(".B64");
    case fmtQP:
        return QStringLiteral(".Q_P");
    case fmtURL:
        break;
    }
    return {};
}

void TcvbNetCode::progress(int percent)
{
    if (OnProgress)
        OnProgress(this, percent);
}

int TcvbNetCode::encode(MyStream &in, MyStream &out, qint64 maxFileSize)
{
    switch (m_format) {
    case fmtUUE:
        return netcode::encodeUue(in, out, maxFileSize, m_fileName.toUtf8(), m_mode.toLatin1());
    case fmtBASE64:
        return netcode::encodeBase64(in, out, maxFileSize);
    case fmtQP:
        return netcode::encodeQuotedPrintable(in, out, maxFileSize);
    case fmtURL:
        return netcode::encodeUrl(in, out);
    }
    return ncOk;
}

int TcvbNetCode::decode(MyStream &in, MyStream &out)
{
    switch (m_format) {
    case fmtBASE64:
        return netcode::decodeBase64(in, out);
    case fmtQP:
        return netcode::decodeQuotedPrintable(in, out);
    case fmtURL:
        return netcode::decodeUrl(in, out);
    case fmtUUE: {
        netcode::UueOutput same{[&out](const QString &, int *) { return &out; }};
        return netcode::decodeUue(in, same, m_intelliCode, &m_mode);
    }
    }
    return ncOk;
}

int TcvbNetCode::encodeToFile()
{
    if (m_encodedData.isEmpty() || m_encodedData.first().isEmpty())
        return ncNoEncodedName;
    if (m_fileName.isEmpty())
        m_fileName = pathOf(m_decodedData);
    const bool textInput = m_format == fmtQP || m_format == fmtURL;
    MyFileStream in(pathOf(m_decodedData), false);
    in.Restart(m_progressStep, [this](int p) { progress(p); });
    int code = in.OpenRead(!textInput);
    if (code != ncOk)
        return code;
    MyFileStream out(&m_encodedData, partExtension(), m_overwrite);
    code = out.OpenWrite(false, in.total() / 3 * 4 + 1024);
    if (code != ncOk)
        return code;
    code = encoderResult(encode(in, out, m_maxFileSize), in, out);
    if (code == ncOk)
        in.completeProgress();
    return code;
}

int TcvbNetCode::encodeToString()
{
    if (m_format == fmtUUE && m_fileName.isEmpty())
        return ncNoUueName;
    QByteArray plain = m_decodedData;
    MyAnsiString in(&plain);
    in.Restart(m_progressStep, [this](int p) { progress(p); });
    in.OpenRead(m_format != fmtQP);
    MyStringStream out(&m_encodedData);
    out.OpenWrite();
    const int code = encoderResult(encode(in, out, 0), in, out);
    if (code == ncOk)
        in.completeProgress();
    return code;
}

int TcvbNetCode::decodeToFile()
{
    if (!m_decodedData.isEmpty())
        m_fileName = pathOf(m_decodedData);
    if (m_encodedData.isEmpty() || m_encodedData.first().isEmpty())
        return ncNoEncodedName;
    MyFileStream in(&m_encodedData, partExtension(), false);
    in.Restart(m_progressStep, [this](int p) { progress(p); });
    int code = in.OpenRead(false);
    if (code != ncOk)
        return code;

    std::unique_ptr<MyFileStream> out;
    auto openOutput = [&](const QString &target, int *error) -> MyStream * {
        out = std::make_unique<MyFileStream>(target, m_overwrite);
        *error = out->OpenWrite(m_format == fmtBASE64 || m_format == fmtUUE, in.total());
        if (*error != ncOk)
            out.reset();
        return out.get();
    };
    int failure = ncOk;
    if (m_format == fmtUUE) {
        netcode::UueOutput output{[&](const QString &nameInBeginLine, int *error) -> MyStream * {
            // The output is FileName, a folder FileName plus the name of the "begin" line, or
            // that name alone.
            QString target = m_fileName;
            if (target.isEmpty() || target.endsWith(QLatin1Char('\\')) || target.endsWith(QLatin1Char('/'))) {
                if (nameInBeginLine.isEmpty()) {
                    *error = ncNoUueName;
                    return nullptr;
                }
                target += nameInBeginLine;
            }
            return openOutput(target, error);
        }};
        failure = netcode::decodeUue(in, output, m_intelliCode, &m_mode);
    } else if (openOutput(m_fileName, &failure)) {
        failure = decode(in, *out);
    }
    code = decoderResult(failure, in, out.get());
    if (code == ncOk)
        in.completeProgress();
    return code;
}

int TcvbNetCode::decodeToString()
{
    QStringList lines = m_encodedData;
    MyStringStream in(&lines);
    in.Restart(m_progressStep, [this](int p) { progress(p); });
    in.OpenRead(false);
    MyAnsiString out(&m_decodedData);
    out.OpenWrite(m_format != fmtQP);
    const int code = decoderResult(decode(in, out), in, &out);
    if (code == ncOk)
        in.completeProgress();
    return code;
}

} // namespace cvb
