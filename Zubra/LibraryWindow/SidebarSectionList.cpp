#include "Zubra/LibraryWindow/SidebarSectionList.h"

#include "Zubra/LibraryWindow/SidebarRowDelegate.h"
#include "ZubraCore/Drag/SelectionDragIDs.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>

namespace SidebarDrop {

bool hasPlainText(const QMimeData* data)
{
    // Not hasText(): that also answers for a list of files, which carries no plain text.
    return data && (data->hasFormat(u"text/plain"_qs) || data->hasFormat(u"text/plain;charset=utf-8"_qs));
}

std::optional<std::optional<QSet<QUuid>>> read(const QMimeData* data)
{
    if (!hasPlainText(data))
        return std::nullopt;
    return SelectionDragIDs::ids(data->text());
}

} // namespace SidebarDrop

SidebarSectionList::SidebarSectionList(
    SidebarModel* model, SidebarModel::Section section, SidebarRowDelegate* delegate, QWidget* parent)
    : QListView(parent)
    , m_model(model)
    , m_section(section)
    , m_delegate(delegate)
{
    setModel(model);
    setRootIndex(model->sectionIndex(section));
    setItemDelegate(delegate);
    setUniformItemSizes(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(false); // drags start on the handles only, below
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    viewport()->setAutoFillBackground(false);
    QPalette transparent = palette();
    transparent.setColor(QPalette::Base, Qt::transparent);
    setPalette(transparent);

    const auto refit = [this] { fitHeight(); };
    connect(model, &QAbstractItemModel::rowsInserted, this, refit);
    connect(model, &QAbstractItemModel::rowsRemoved, this, refit);
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        setRootIndex(m_model->sectionIndex(m_section));
        fitHeight();
    });
    connect(model, &QAbstractItemModel::layoutChanged, this, refit);
    fitHeight();
}

void SidebarSectionList::setDropTargets(std::function<bool(const QModelIndex&)> isTarget,
    std::function<void(const QModelIndex&, const QSet<QUuid>&)> add)
{
    m_isTarget = std::move(isTarget);
    m_add = std::move(add);
}

QSize SidebarSectionList::sizeHint() const
{
    const int rows = m_model->rowCount(rootIndex());
    const int rowHeight = m_section == SidebarModel::Section::sources ? SidebarRowDelegate::sourceRowHeight
                                                                       : SidebarRowDelegate::rowHeight;
    return QSize(200, rows * rowHeight);
}

QSize SidebarSectionList::minimumSizeHint() const
{
    return QSize(120, sizeHint().height());
}

void SidebarSectionList::fitHeight()
{
    setFixedHeight(sizeHint().height());
    // An empty section is no stop for the Tab key.
    setFocusPolicy(m_model->rowCount(rootIndex()) > 0 ? Qt::StrongFocus : Qt::NoFocus);
    updateGeometry();
}

QItemSelectionModel::SelectionFlags SidebarSectionList::selectionCommand(const QModelIndex&, const QEvent*) const
{
    return QItemSelectionModel::NoUpdate;
}

void SidebarSectionList::keyPressEvent(QKeyEvent* event)
{
    // The arrows move the focus mark; Space chooses the row, as Return and Enter do.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && currentIndex().isValid()) {
        emit activated(currentIndex());
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void SidebarSectionList::wheelEvent(QWheelEvent* event)
{
    // The list never scrolls by itself: the sidebar around it does.
    event->ignore();
}

void SidebarSectionList::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid() && m_payload
        && SidebarRowDelegate::handleRect(visualRect(index), index).contains(event->position().toPoint())) {
        m_handlePressed = index;
        m_pressPosition = event->position().toPoint();
        event->accept();
        return;
    }
    m_handlePressed = QPersistentModelIndex();
    QListView::mousePressEvent(event);
}

void SidebarSectionList::mouseMoveEvent(QMouseEvent* event)
{
    if (m_handlePressed.isValid() && (event->buttons() & Qt::LeftButton)) {
        if ((event->position().toPoint() - m_pressPosition).manhattanLength() >= QApplication::startDragDistance()) {
            const QModelIndex index = m_handlePressed;
            m_handlePressed = QPersistentModelIndex();
            auto* data = new QMimeData;
            data->setText(m_payload(index));
            auto* drag = new QDrag(this);
            drag->setMimeData(data);
            drag->exec(Qt::CopyAction);
        }
        event->accept();
        return;
    }
    QListView::mouseMoveEvent(event);
}

void SidebarSectionList::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_handlePressed.isValid()) {
        m_handlePressed = QPersistentModelIndex();
        event->accept();
        return;
    }
    QListView::mouseReleaseEvent(event);
}

QModelIndex SidebarSectionList::targetAt(const QPoint& position) const
{
    const QModelIndex index = indexAt(position);
    if (index.isValid() && m_isTarget && m_isTarget(index))
        return index;
    return {};
}

void SidebarSectionList::setHover(const QModelIndex& index)
{
    if (QPersistentModelIndex(index) == m_delegate->dropTarget())
        return;
    m_delegate->setDropTarget(index);
    viewport()->update();
    // The highlight may have left a row of another section.
    if (parentWidget())
        parentWidget()->update();
}

void SidebarSectionList::dragEnterEvent(QDragEnterEvent* event)
{
    if (!m_isTarget || !SidebarDrop::hasPlainText(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void SidebarSectionList::dragMoveEvent(QDragMoveEvent* event)
{
    const QModelIndex target = targetAt(event->position().toPoint());
    setHover(target);
    if (!target.isValid() || !SidebarDrop::hasPlainText(event->mimeData())) {
        event->ignore(visualRect(indexAt(event->position().toPoint())));
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept(visualRect(target));
}

void SidebarSectionList::dragLeaveEvent(QDragLeaveEvent* event)
{
    setHover({});
    event->accept();
}

void SidebarSectionList::dropEvent(QDropEvent* event)
{
    const QModelIndex target = targetAt(event->position().toPoint());
    setHover({});
    const std::optional<std::optional<QSet<QUuid>>> dropped
        = target.isValid() ? SidebarDrop::read(event->mimeData()) : std::nullopt;
    if (!dropped) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (!*dropped)
        return; // plain text that names no selection: accepted, then nothing
    // The store is called after the drop has returned, on the event loop.
    QMetaObject::invokeMethod(
        this,
        [this, target = QPersistentModelIndex(target), ids = **dropped] {
            if (target.isValid() && m_add)
                m_add(target, ids);
        },
        Qt::QueuedConnection);
}
