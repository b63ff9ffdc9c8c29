// The floor the application is measured against: the least a Qt program can do to show a
// library of N items, each holding an 80-character row and a 580-character body, in a list view.
// Usage: tessellon_library_floor N. Quits cleanly on SIGTERM, as the application does.

#include <QAbstractListModel>
#include <QApplication>
#include <QListView>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

struct Item
{
    QString row;
    QString body;
};

class FloorModel final : public QAbstractListModel
{
public:
    explicit FloorModel(int count)
    {
        // Cut from one long text made of a few words, so that making the items costs little
        // beside showing them; each item holds its own copy of its row and body.
        static const char16_t* const words[] = {u"context", u"model", u"token", u"budget", u"passage", u"source",
            u"library", u"prompt", u"the", u"of", u"and", u"a", u"caf\u00e9", u"\u2014", u"42"};
        constexpr qsizetype span = 1 << 16;
        QString source;
        source.reserve(span + 700);
        quint32 state = 20250314;
        while (source.size() < span + 660) {
            state = state * 1664525u + 1013904223u;
            source += QStringView(words[(state >> 16) % (sizeof words / sizeof *words)]);
            source += u' ';
        }
        m_items.reserve(size_t(count));
        for (int i = 0; i < count; ++i) {
            state = state * 1664525u + 1013904223u;
            const qsizetype at = qsizetype(state % span);
            m_items.push_back(Item {QString(source.constData() + at, 80), QString(source.constData() + at + 80, 580)});
        }
    }
    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : int(m_items.size()); }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        const Item& item = m_items[size_t(index.row())];
        if (role == Qt::DisplayRole)
            return item.row;
        if (role == Qt::ToolTipRole)
            return item.body;
        return {};
    }

private:
    std::vector<Item> m_items;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 0;
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
        std::signal(SIGTERM, onTerminate);
    }
    FloorModel model(count);
    QListView view;
    view.setUniformItemSizes(true);
    view.setModel(&model);
    view.setWindowTitle(QStringLiteral("Library floor"));
    view.resize(900, 600);
    view.show();
    return app.exec();
}
