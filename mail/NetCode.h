// The encoder component: converts data between its plain form and uuencode, base64,
// quoted-printable or URL encoding, file to file, file to lines, string to file or string to lines.
#pragma once

#include "component/Component.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace cvb {

enum TFmt { fmtUUE = 0, fmtBASE64 = 1, fmtQP = 2, fmtURL = 3 };

enum TcvbNetCodeActions {
    ntcIdle = 0,
    ntcDecodeToFile = 1,
    ntcEncodeToFile = 2,
    ntcDecodeToString = 3,
    ntcEncodeToString = 4,
};

class EcvbNetCode : public EcvbComponent
{
public:
    using EcvbComponent::EcvbComponent;
};

using TNetCodeProgressEvent = std::function<void(QObject *Sender, int PercentDone)>;

class MyStream;

class TcvbNetCode : public TcvbComponent
{
    Q_OBJECT
public:
    explicit TcvbNetCode(QObject *parent = nullptr);

    // Percentage step between two OnProgress events, 0 to 100; 0 switches them off.
    int ProgressStep() const { return m_progressStep; }
    void SetProgressStep(int step);
    // Name in the uuencode "begin" line; output file of a decode to file.
    QString FileName() const { return m_fileName; }
    void SetFileName(const QString &name) { m_fileName = name; }
    // The plain side: the data for string actions, the path of the plain file for file actions.
    QByteArray DecodedData() const { return m_decodedData; }
    void SetDecodedData(const QByteArray &data) { m_decodedData = data; }
    // The encoded side: encoded lines for string actions, encoded file names for file actions.
    QStringList &EncodedData() { return m_encodedData; }
    const QStringList &EncodedData() const { return m_encodedData; }
    void SetEncodedData(const QStringList &lines) { m_encodedData = lines; }
    bool Overwrite() const { return m_overwrite; }
    void SetOverwrite(bool overwrite) { m_overwrite = overwrite; }
    bool IntelliCode() const { return m_intelliCode; }
    void SetIntelliCode(bool on) { m_intelliCode = on; }
    TFmt Format() const { return m_format; }
    void SetFormat(int format);
    qint64 MaxFileSize() const { return m_maxFileSize; }
    void SetMaxFileSize(qint64 size) { m_maxFileSize = size; }
    int Action() const { return m_action; }
    // Performs the action; returns when it is done. Failures raise EcvbNetCode.
    void SetAction(int action);
    QString Mode() const { return m_mode; }
    void SetMode(const QString &mode) { m_mode = mode.left(7); }

    TNetCodeProgressEvent OnProgress;

    // Copies every setting, both data sides and the progress handler.
    void Assign(const TcvbNetCode &other);

    // Text of a code of the error table.
    static QString ErrorText(int code);

    std::exception_ptr CreateError(int code, const QString &text) override;

private:
    int run(int action);
    int encodeToFile();
    int decodeToFile();
    int decodeToString();
    int encodeToString();
    int encode(MyStream &in, MyStream &out, qint64 maxFileSize);
    int decode(MyStream &in, MyStream &out);
    QString partExtension() const;
    void progress(int percent);

    int m_progressStep = 1;
    QString m_fileName;
    QByteArray m_decodedData;
    QStringList m_encodedData;
    bool m_overwrite = false;
    bool m_intelliCode = true;
    TFmt m_format = fmtUUE;
    qint64 m_maxFileSize = 0;
    int m_action = ntcIdle;
    QString m_mode = QStringLiteral("600");
};

} // namespace cvb
