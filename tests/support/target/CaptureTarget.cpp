// A small window for the end-to-end capture tests: a text field with a word selected and the
// keyboard focus, accessible over AT-SPI. Prints "ready <window id>" once it is the active
// window; quits when its standard input closes.
//
// Options: --text TEXT, --select WORD (selects its first occurrence), --refuse-copy (swallows
// the copy shortcuts, so only the accessibility tree can give the selection), --desktop-file
// ID (published on the window as _GTK_APPLICATION_ID, or the property --desktop-property
// names), --title TITLE.
//
// Started as "--hostile-clipboard N" it shows no window: it owns the CLIPBOARD itself, offers N
// targets and answers each; with N = 0 it never answers anything, as a hung owner. It prints
// "ready" once it owns the clipboard.

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
#include <cstring>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>
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
xcb_atom_t internAtom(xcb_connection_t* c, const std::string& name)
{
    xcb_intern_atom_reply_t* r
        = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.c_str()), nullptr);
    const xcb_atom_t atom = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return atom;
}

// A clipboard owner that offers `count` targets, or answers nothing at all when count is 0.
int hostileClipboard(int count)
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
        XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_atom_t clipboard = internAtom(c, "CLIPBOARD");
    const xcb_atom_t targetsAtom = internAtom(c, "TARGETS");
    std::vector<xcb_intern_atom_cookie_t> cookies;
    for (int i = 0; i < count; ++i) {
        const std::string name = "application/x-tessellon-hostile-" + std::to_string(i);
        cookies.push_back(xcb_intern_atom(c, 0, uint16_t(name.size()), name.c_str()));
    }
    std::vector<xcb_atom_t> targets {targetsAtom};
    for (auto cookie : cookies) {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, cookie, nullptr);
        targets.push_back(r ? r->atom : xcb_atom_t(XCB_ATOM_NONE));
        free(r);
    }
    xcb_set_selection_owner(c, window, clipboard, XCB_CURRENT_TIME);
    xcb_flush(c);
    std::printf("ready\n");
    std::fflush(stdout);
    pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    for (int waited = 0; waited < 120000;) {
        ::poll(fds, 2, 100);
        waited += 100;
        if (fds[1].revents) {
            char buffer[64];
            if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
                break;
        }
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            if ((event->response_type & 0x7f) == XCB_SELECTION_REQUEST && count > 0) {
                auto* request = reinterpret_cast<xcb_selection_request_event_t*>(event);
                const xcb_atom_t property = request->property ? request->property : request->target;
                if (request->target == targetsAtom)
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request->requestor, property, XCB_ATOM_ATOM, 32,
                        uint32_t(targets.size()), targets.data());
                else
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request->requestor, property, request->target, 8,
                        4, "data");
                xcb_selection_notify_event_t notify;
                std::memset(&notify, 0, sizeof notify);
                notify.response_type = XCB_SELECTION_NOTIFY;
                notify.time = request->time;
                notify.requestor = request->requestor;
                notify.selection = request->selection;
                notify.target = request->target;
                notify.property = property;
                xcb_send_event(c, 0, request->requestor, 0, reinterpret_cast<const char*>(&notify));
                xcb_flush(c);
            }
            free(event);
        }
        if (xcb_connection_has_error(c))
            break;
    }
    xcb_disconnect(c);
    return 0;
}
} // namespace

int main(int argc, char* argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--hostile-clipboard") == 0)
        return hostileClipboard(std::atoi(argv[2]));
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
