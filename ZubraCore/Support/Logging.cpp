#include "ZubraCore/Support/Logging.h"
#include "Platform/AppIdentity.h"

#include "Platform/DiskFileSystem.h"
#include "Platform/ThreadName.h"
#include "ZubraCore/Support/LogFile.h"

#include <QDir>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

namespace {

std::atomic<SystemLog*> chosenLog {nullptr};

void writeEntry(const QString& category, SystemLogLevel level, const QString& publicPart, const QString& privatePart)
{
    if (SystemLog* log = chosenLog.load(std::memory_order_acquire))
        log->write(SystemLogEntry {category, level, publicPart, privatePart});
}

// The file logger's process-wide state: the file, and one worker thread that writes the queued
// lines in order. The worker starts with the first line and drains the queue before the
// process ends.
class FileLogState
{
public:
    ~FileLogState()
    {
        {
            const std::lock_guard guard(m_queueMutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_worker.joinable())
            m_worker.join();
    }

    bool start()
    {
        const std::lock_guard guard(m_fileMutex);
        if (m_file.isOpen())
            return true;
        const QString folder = FileLogger::logDirectory();
        std::optional<QString> failure;
        if (const FileOutcome created = DiskFileSystem().createFolder(folder))
            failure = created->description;
        else
            failure = m_file.open(folder + QStringLiteral("/tessellon.log"));
        if (failure) {
            const QByteArray line = ("FileLogger could not open " + folder + ": " + *failure + "\n").toUtf8();
            std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
            return false;
        }
        return true;
    }

    void post(const QString& message)
    {
        {
            const std::lock_guard guard(m_queueMutex);
            if (!m_worker.joinable())
                m_worker = std::thread([this] {
                    ThreadName::setCurrent("Log writer");
                    run();
                });
            m_pending.push_back(message);
        }
        m_wake.notify_one();
    }

    bool flush(std::chrono::milliseconds bound)
    {
        std::unique_lock lock(m_queueMutex);
        return m_idle.wait_for(lock, bound, [this] { return m_pending.empty() && !m_busy; });
    }

private:
    void run()
    {
        std::unique_lock lock(m_queueMutex);
        for (;;) {
            m_wake.wait(lock, [this] { return !m_pending.empty() || m_stopping; });
            if (m_pending.empty())
                return; // stopping with nothing left
            const QString message = std::move(m_pending.front());
            m_pending.pop_front();
            m_busy = true;
            lock.unlock();
            writeLine(message);
            lock.lock();
            m_busy = false;
            if (m_pending.empty())
                m_idle.notify_all();
        }
    }

    void writeLine(const QString& message)
    {
        const std::lock_guard guard(m_fileMutex);
        if (!m_file.isOpen())
            return; // never buffered for a later start()
        m_file.append(LogFile::formatLine(QDateTime::currentDateTimeUtc(), message));
    }

    std::mutex m_fileMutex; // guards m_file
    LogFile m_file;

    std::mutex m_queueMutex; // guards everything below
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<QString> m_pending;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_worker;
};

FileLogState& fileLogState()
{
    static FileLogState state;
    return state;
}

} // namespace

void CategoryLogger::debug(const QString& message) const
{
    writeEntry(m_category, SystemLogLevel::debug, message, {});
}

void CategoryLogger::notice(const QString& message) const
{
    writeEntry(m_category, SystemLogLevel::notice, message, {});
}

void CategoryLogger::error(const QString& publicPart, const QString& privatePart) const
{
    writeEntry(m_category, SystemLogLevel::error, publicPart, privatePart);
}

namespace Loggers {

// The category loggers are never destroyed: a thread that outlives main may still log while the
// statics go.

QString subsystem()
{
    return QString::fromLatin1(AppIdentity::bundleIdentifier);
}

const CategoryLogger& app()
{
    static const CategoryLogger* const logger = new CategoryLogger(QStringLiteral("app"));
    return *logger;
}

const CategoryLogger& capture()
{
    static const CategoryLogger* const logger = new CategoryLogger(QStringLiteral("capture"));
    return *logger;
}

const CategoryLogger& store()
{
    static const CategoryLogger* const logger = new CategoryLogger(QStringLiteral("store"));
    return *logger;
}

const CategoryLogger& hotkey()
{
    static const CategoryLogger* const logger = new CategoryLogger(QStringLiteral("hotkey"));
    return *logger;
}

void setSystemLog(SystemLog* log)
{
    chosenLog.store(log, std::memory_order_release);
}

} // namespace Loggers

namespace FileLogger {

QString logDirectory()
{
    const QString chosen = qEnvironmentVariable("TESSELLON_LOG_DIR");
    if (!chosen.isEmpty())
        return chosen;
    // Relative XDG paths are invalid and must be ignored.
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!state.isEmpty() && QDir::isAbsolutePath(state))
        return state + QStringLiteral("/Tessellon");
    return QDir::homePath() + QStringLiteral("/.local/state/Tessellon");
}

QString logFilePath()
{
    return logDirectory() + QStringLiteral("/tessellon.log");
}

bool start()
{
    return fileLogState().start();
}

void log(const QString& message)
{
    fileLogState().post(message);
}

bool flush(std::chrono::milliseconds bound)
{
    return fileLogState().flush(bound);
}

} // namespace FileLogger

void logMPLine(const QString& line)
{
    Loggers::app().debug(line);
    FileLogger::log(line);
}
