// A small window for the end-to-end capture tests: a text field with a word selected and the
// keyboard focus, accessible over AT-SPI. Prints "ready <window id>" once it is the active
// window; quits when its standard input closes.
//
// Options: --text TEXT, --select WORD (selects its first occurrence), --refuse-copy (swallows
// the copy shortcuts, so only the accessibility tree can give the selection), --desktop-file
// ID (published as the window's desktop entry), --title TITLE.

#include <QApplication>
#include <QCommandLineParser>
#include <QKeyEvent>
#include <QKeySequence>
#include <QSocketNotifier>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <unistd.h>

namespace {
class CopyBlocker : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_C && (key->modifiers() & Qt::ControlModifier)) {
                event->accept();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    QCommandLineOption textOption("text", "Text shown.", "text", "The quick brown fox jumps over the lazy dog.");
    QCommandLineOption selectOption("select", "Word selected.", "word", "brown");
    QCommandLineOption refuseOption("refuse-copy", "Swallow the copy shortcut.");
    QCommandLineOption desktopOption("desktop-file", "Desktop entry id.", "id");
    QCommandLineOption titleOption("title", "Window title.", "title", "Capture target");
    parser.addOptions({textOption, selectOption, refuseOption, desktopOption, titleOption});
    parser.process(app);
    if (parser.isSet(desktopOption))
        QGuiApplication::setDesktopFileName(parser.value(desktopOption));

    QWidget window;
    window.setWindowTitle(parser.value(titleOption));
    auto* layout = new QVBoxLayout(&window);
    auto* edit = new QTextEdit(&window);
    edit->setPlainText(parser.value(textOption));
    edit->setAccessibleName(QStringLiteral("Capture text"));
    layout->addWidget(edit);
    if (parser.isSet(refuseOption))
        edit->installEventFilter(new CopyBlocker(edit));

    const QString word = parser.value(selectOption);
    const qsizetype at = edit->toPlainText().indexOf(word);
    if (at >= 0) {
        QTextCursor cursor = edit->textCursor();
        cursor.setPosition(int(at));
        cursor.setPosition(int(at + word.size()), QTextCursor::KeepAnchor);
        edit->setTextCursor(cursor);
    }
    window.resize(480, 240);
    window.show();
    window.activateWindow();
    edit->setFocus();

    // Report once the window is active and the field focused, checking every 20 ms.
    auto* poll = new QTimer(&app);
    QObject::connect(poll, &QTimer::timeout, [&] {
        if (window.isActiveWindow() && edit->hasFocus()) {
            std::printf("ready %llu\n", static_cast<unsigned long long>(window.winId()));
            std::fflush(stdout);
            poll->stop();
        } else {
            window.activateWindow();
        }
    });
    poll->start(20);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            app.quit();
    });
    return app.exec();
}
