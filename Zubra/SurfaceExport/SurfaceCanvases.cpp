#include "Zubra/SurfaceExport/SurfaceCanvases.h"

#include "Zubra/Composer/ComposeView.h"
#include "Zubra/LibraryWindow/LibraryEnvironment.h"
#include "Zubra/LibraryWindow/LibraryPlaceholders.h"
#include "Zubra/LibraryWindow/LibrarySelectionList.h"
#include "Zubra/LibraryWindow/LibrarySelectionState.h"
#include "Zubra/LibraryWindow/NamingSheet.h"
#include "Zubra/LibraryWindow/SelectionDetailView.h"
#include "Zubra/LibraryWindow/SelectionRowPainter.h"
#include "Zubra/LibraryWindow/SidebarItem.h"
#include "Zubra/LibraryWindow/SidebarView.h"
#include "Zubra/LibraryWindow/StatusViews.h"
#include "Zubra/SurfaceExport/AppScreenshotExporter.h"
#include "Zubra/SurfaceExport/SampleData.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Models/VisibleSelectionsModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSplitter>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace AppScreenshotExporter {

namespace {

// Dates in English (United States) and UTC, relative ages against the samples' own instant, and
// no outside service: every action of an exported view does nothing.
const LibraryEnvironment& exportEnvironment()
{
    static const LibraryEnvironment environment = [] {
        LibraryEnvironment e;
        e.locale = QLocale(QLocale::English, QLocale::UnitedStates);
        e.timeZone = QTimeZone::utc();
        e.relativeDateReference = SampleData::screenshotReferenceDate();
        e.now = [] { return SampleData::screenshotReferenceDate(); };
        return e;
    }();
    return environment;
}

QString hotkey()
{
    return QString::fromUtf16(hotkeyDisplay);
}

// Gives a pane the frame the arrangement asks for.
QWidget* framed(QWidget* pane, int minimum, int ideal, int maximum = QWIDGETSIZE_MAX)
{
    pane->setMinimumWidth(minimum);
    pane->setMaximumWidth(maximum);
    pane->setProperty("idealWidth", ideal);
    return pane;
}

QSplitter* splitter(const QList<QWidget*>& panes)
{
    auto* split = new QSplitter(Qt::Horizontal);
    split->setChildrenCollapsible(false);
    QList<int> sizes;
    for (QWidget* pane : panes) {
        split->addWidget(pane);
        sizes.append(pane->property("idealWidth").isValid() ? pane->property("idealWidth").toInt() : 10'000);
    }
    split->setSizes(sizes);
    for (int i = 0; i < panes.size(); ++i)
        split->setStretchFactor(i, panes[i]->property("idealWidth").isValid() ? 0 : 1);
    return split;
}

SelectionDetailView* detailView(Store& store, const Selection& selection)
{
    auto* view = new SelectionDetailView(store, exportEnvironment());
    view->setSelection(selection);
    return view;
}

EmptyStateView* emptyState(bool isFiltering, bool needsAccessibility, const QString& search, EmptyStateScope scope)
{
    auto* view = new EmptyStateView;
    view->setState(isFiltering, needsAccessibility, search, scope, hotkey());
    return view;
}

// The placeholder of an empty detail column: the window's own, symbol and text.
QWidget* detailPlaceholder()
{
    return LibraryPlaceholders::detail(nullptr);
}

// The list of captures for the sample screenshot: every row painted by the library's row painter.
class CapturedPassages final : public QWidget
{
public:
    CapturedPassages(Store& store, const QUuid& selectedID)
        : m_store(store)
        , m_selectedID(selectedID)
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Base));
        QFont heading = font();
        heading.setWeight(QFont::DemiBold);
        painter.setFont(heading);
        painter.setPen(palette().color(QPalette::PlaceholderText));
        const int headingHeight = QFontMetrics(heading).height() + 16;
        painter.drawText(QRect(16, 0, width() - 32, headingHeight), Qt::AlignLeft | Qt::AlignVCenter,
            u"Captured Passages"_s);
        SelectionRowPainter::Style style = SelectionRowPainter::style(font(), palette());
        const int height = SelectionRowPainter::rowHeight(style);
        int y = headingHeight;
        for (const Selection& s : m_store.selections()) {
            QList<SelectionGroup> groups;
            for (const QUuid& id : s.groupIDs)
                for (const SelectionGroup& g : m_store.groups())
                    if (g.id == id)
                        groups.append(g);
            style.selected = s.id == m_selectedID;
            const auto content = SelectionRowPainter::content(
                s, groups, exportEnvironment().iconFor(s), exportEnvironment().relativeDate(s.createdAt));
            SelectionRowPainter::paint(painter, QRect(8, y, width() - 16, height), content, style);
            painter.setPen(palette().color(QPalette::Midlight));
            painter.drawLine(16, y + height, width() - 16, y + height);
            y += height + 1;
        }
    }

private:
    Store& m_store;
    QUuid m_selectedID;
};

} // namespace

UISurfaceCanvas::UISurfaceCanvas(Store& store, Mode mode, QSettings& templateDefaults, QWidget* parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* sidebar = new SidebarView(store, exportEnvironment(), SidebarCallbacks {});
    switch (mode.kind) {
    case Mode::Kind::library:
    case Mode::Kind::emptyLibrary:
        sidebar->setSelection(SidebarItem::allSelections());
        break;
    case Mode::Kind::compose:
    case Mode::Kind::emptyCompose:
        sidebar->setSelection(SidebarItem::draft(mode.id));
        break;
    }
    framed(sidebar, 190, 220, 240);

    QWidget* content = nullptr;
    switch (mode.kind) {
    case Mode::Kind::library: {
        auto* column = new QWidget;
        auto* stack = new QVBoxLayout(column);
        stack->setContentsMargins(0, 0, 0, 0);
        stack->setSpacing(0);
        auto* banner = new PermissionBanner([] {});
        auto* bannerHolder = new QWidget;
        auto* bannerMargins = new QVBoxLayout(bannerHolder);
        bannerMargins->setContentsMargins(8, 8, 8, 8);
        bannerMargins->addWidget(banner);
        stack->addWidget(bannerHolder);
        auto* model = new VisibleSelectionsModel(&store, column);
        auto* state = new LibrarySelectionState(column);
        state->set({mode.id}, mode.id);
        auto* list = new LibrarySelectionList(store, *model, *state, exportEnvironment());
        stack->addWidget(list, 1);
        QList<QWidget*> panes {framed(column, 300, 360, 480)};
        if (const auto selection = store.findByID(mode.id)) {
            QWidget* detail = detailView(store, *selection);
            detail->setMinimumWidth(320);
            panes.append(detail);
        }
        content = splitter(panes);
        break;
    }
    case Mode::Kind::compose:
    case Mode::Kind::emptyCompose: {
        ComposerServices services; // no pasteboard: nothing is copied from a picture
        services.templateDefaults = &templateDefaults;
        services.hotkeyDisplay = hotkey;
        auto* compose = new ComposeView(store, services);
        compose->setDraftID(mode.id);
        compose->setMinimumWidth(680);
        content = compose;
        break;
    }
    case Mode::Kind::emptyLibrary: {
        QWidget* empty = framed(emptyState(false, true, QString(), EmptyStateScope::library), 300, 360);
        QWidget* placeholder = detailPlaceholder();
        placeholder->setMinimumWidth(320);
        content = splitter({empty, placeholder});
        break;
    }
    }
    layout->addWidget(splitter({sidebar, content}));
}

namespace SurfaceCanvases {

QWidget* detail(Store& store, const Selection& selection)
{
    return detailView(store, selection);
}

QWidget* emptySearch(Store&)
{
    return emptyState(true, false, u"actors"_s, EmptyStateScope::library);
}

QWidget* emptyScope(Store&)
{
    // A group the store does not hold.
    return emptyState(true, false, QString(), EmptyStateScope::group);
}

QWidget* newGroupSheet()
{
    auto* sheet = new NameSheet(u"New Group"_s, u"Create"_s, u"Research"_s);
    sheet->setWindowFlags(Qt::Widget);
    return sheet;
}

QWidget* storageFailure(StorePersistenceStatus status)
{
    auto* canvas = new QWidget;
    canvas->setAutoFillBackground(true);
    auto* row = new QHBoxLayout(canvas);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto* sidebarPlace = new QWidget;
    sidebarPlace->setFixedWidth(220);
    row->addWidget(sidebarPlace);
    const auto divider = [] {
        auto* line = new QFrame;
        line->setFrameShape(QFrame::VLine);
        line->setForegroundRole(QPalette::Mid);
        return line;
    };
    row->addWidget(divider());
    if (const auto presentation = status.unavailableLibraryPresentation()) {
        auto* notice = new UnavailableLibraryView(*presentation, [] {});
        notice->setFixedSize(300, 600);
        row->addWidget(notice);
    }
    row->addWidget(divider());
    row->addStretch(1);
    return canvas;
}

QWidget* sampleScreenshot(Store& store, const QUuid& selectedID)
{
    auto* list = new CapturedPassages(store, selectedID);
    list->setMinimumWidth(380);
    list->setProperty("idealWidth", 440);
    QList<QWidget*> panes {list};
    if (const auto selection = store.findByID(selectedID)) {
        QWidget* detail = detailView(store, *selection);
        detail->setMinimumWidth(420);
        panes.append(detail);
    }
    return splitter(panes);
}

} // namespace SurfaceCanvases

} // namespace AppScreenshotExporter
