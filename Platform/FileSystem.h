#pragma once
// The few file operations the library files need, behind one seam so that tests can make any
// of them fail (running as root, permissions cannot).

#include <QByteArray>
#include <QString>
#include <optional>

struct FileError
{
    QString description; // the system's or the implementation's own words
};

// Nothing on success, else why the operation failed.
using FileOutcome = std::optional<FileError>;

struct FileContents
{
    std::optional<QByteArray> bytes; // absent when the file could not be read
    QString error; // why, when absent
};

class FileSystem
{
public:
    virtual ~FileSystem() = default;

    // True when anything (a file or a folder) stands at the path.
    virtual bool exists(const QString& path) const = 0;
    // The whole file; fails when it cannot be opened or read, or holds more than maxBytes.
    virtual FileContents read(const QString& path, qint64 maxBytes) const = 0;
    // Replaces the file in one step: a reader sees either the old or the new bytes, and the
    // new name is synced to disk with its folder before success is reported.
    virtual FileOutcome writeAtomically(const QString& path, const QByteArray& bytes) = 0;
    // Copies a file to a path where nothing stands yet; fails when something does.
    virtual FileOutcome copy(const QString& from, const QString& to) = 0;
    // Creates the folder with every missing parent; succeeds when it already exists.
    virtual FileOutcome createFolder(const QString& path) = 0;
};
