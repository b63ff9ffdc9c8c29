#pragma once
// File modes, the umask and environment variables for tests that check files made private or
// places chosen from the environment; each guard restores what it changed.

#include <QFile>
#include <QList>
#include <sys/stat.h>

// The whole mode of the path itself (links are not followed); 0 when there is nothing.
inline mode_t modeOf(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
}

inline mode_t permissionsOf(const QString& path)
{
    return modeOf(path) & 07777;
}

class UmaskGuard
{
public:
    explicit UmaskGuard(mode_t mask)
        : m_previous(::umask(mask))
    {
    }
    ~UmaskGuard() { ::umask(m_previous); }

private:
    mode_t m_previous;
};

class EnvironmentGuard
{
public:
    explicit EnvironmentGuard(std::initializer_list<const char*> names)
    {
        for (const char* name : names)
            m_saved.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
    }
    ~EnvironmentGuard()
    {
        for (const Saved& saved : m_saved)
            saved.wasSet ? qputenv(saved.name, saved.value) : qunsetenv(saved.name);
    }

private:
    struct Saved
    {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    QList<Saved> m_saved;
};
