// A small window for the end-to-end capture tests: a text field with a word selected and the
// keyboard focus, accessible over AT-SPI. Prints "ready <window id>" once it is the active
// window; quits when its standard input closes.
//
// Options: --text TEXT, --select WORD (selects its first occurrence), --refuse-copy (swallows
// the copy shortcuts, so only the accessibility tree can give the selection), --desktop-file
// ID (published on the window as _GTK_APPLICATION_ID, or the property --desktop-property
// names), --title TITLE.

#include <QApplication>
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QSocketNotifier>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <xcb/xcb.h>

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
    QCommandLineOption propertyOption("desktop-property", "Property naming the entry.", "name", "_GTK_APPLICATION_ID");
    parser.addOptions({textOption, selectOption, refuseOption, desktopOption, titleOption, propertyOption});
    parser.process(app);

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
    if (parser.isSet(desktopOption)) {
        auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>();
        xcb_connection_t* c = x11 ? x11->connection() : nullptr;
        if (c) {
            const QByteArray name = parser.value(propertyOption).toUtf8();
            const QByteArray value = parser.value(desktopOption).toUtf8();
            auto atom = [c](const QByteArray& n) {
                xcb_intern_atom_reply_t* r
                    = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(n.size()), n.constData()), nullptr);
                const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
                free(r);
                return a;
            };
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, xcb_window_t(window.winId()), atom(name), atom("UTF8_STRING"),
                8, uint32_t(value.size()), value.constData());
            xcb_flush(c);
        }
    }
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
