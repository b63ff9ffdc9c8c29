#include "support/ClipboardOwner.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

// Serves its formats like any program, except that handing out `slowType` blocks it for a while,
// as a hung owner would.
class SlowMimeData final : public QMimeData
{
public:
    QString slowType;

protected:
    QVariant retrieveData(const QString& type, QMetaType metaType) const override
    {
        if (type == slowType)
            QThread::sleep(8);
        return QMimeData::retrieveData(type, metaType);
    }
};

} // namespace

int ClipboardOwner::run(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    auto* mime = new SlowMimeData;
    // Lines "type<TAB>base64" or "slow<TAB>type", then "end".
    std::string line;
    while (std::getline(std::cin, line) && line != "end") {
        const QList<QByteArray> parts = QByteArray::fromStdString(line).split('\t');
        if (parts.size() != 2)
            continue;
        if (parts[0] == "slow") {
            mime->slowType = QString::fromUtf8(parts[1]);
            mime->setData(mime->slowType, "slow");
        } else {
            mime->setData(QString::fromUtf8(parts[0]), QByteArray::fromBase64(parts[1]));
        }
    }
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
    std::fputs("ready\n", stdout);
    std::fflush(stdout);

    // Serves until its standard input closes, and never longer than two minutes.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            app.quit();
    });
    QTimer::singleShot(120000, &app, &QCoreApplication::quit);
    return app.exec();
}

bool ClipboardOwner::isOwnerCall(int argc, char* argv[])
{
    return argc > 1 && qstrcmp(argv[1], flag) == 0;
}
