// The table engine's error: every failure of a table operation, of the database
// folder or of a table file raises it with a message that names the file or folder.
#pragma once
#include <QString>
#include <stdexcept>

namespace cvb {

class DataError : public std::runtime_error
{
public:
    explicit DataError(const QString &message) : std::runtime_error(message.toStdString()), m_message(message)
    {
    }
    QString message() const { return m_message; }

private:
    QString m_message;
};

} // namespace cvb
