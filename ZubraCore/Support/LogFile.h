#pragma once
// An append-only text file of log lines. Opened with O_APPEND and written one line per write
// call, so that two processes logging to the same file never overwrite each other's lines.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

class LogFile
{
public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens the file for appending, creating it private (0600) when missing; a link or anything
    // but a regular file at the path is refused. Nothing on success, else the system's
    // description of the failure. A file already open stays open.
    std::optional<QString> open(const QString& path);
    bool isOpen() const { return m_fd >= 0; }
    // Appends the bytes with one write call; false when the file is not open or the write failed.
    bool append(const QByteArray& bytes) const;

    // "[" + time + "] " + message + line feed, in UTF-8.
    static QByteArray formatLine(const QDateTime& time, const QString& message);

private:
    int m_fd = -1;
};
