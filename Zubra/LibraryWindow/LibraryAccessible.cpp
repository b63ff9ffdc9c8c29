#include "Zubra/LibraryWindow/LibraryAccessible.h"

#include "Zubra/LibraryWindow/LibrarySelectionList.h"
#include "Zubra/LibraryWindow/LibraryToolbar.h"
#include "Zubra/LibraryWindow/SelectionListDelegate.h"
#include "Zubra/LibraryWindow/SelectionRowPainter.h"
#include "Zubra/LibraryWindow/SidebarRowDelegate.h"
#include "Zubra/LibraryWindow/SidebarSectionList.h"
#include "ZubraCore/Models/SidebarModel.h"
#include "ZubraCore/Models/VisibleSelectionsModel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QWindow>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

class ListElement;

// The list element of a view, when it is one of these lists.
ListElement* listElement(QAbstractItemView* view);

// What the elements of one row share: the view and the row's index, which follows the row while
// it moves and becomes invalid when the row goes.
class ItemElement : public QAccessibleInterface
{
public:
    ItemElement(QAbstractItemView* view, const QModelIndex& index)
        : m_view(view)
        , m_index(index)
    {
    }

    bool isValid() const override { return m_view && m_index.isValid(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    void setText(QAccessible::Text, const QString&) override { }
    QList<std::pair<QAccessibleInterface*, QAccessible::Relation>> relations(QAccessible::Relation) const override
    {
        return {};
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    const QPersistentModelIndex& index() const { return m_index; }

protected:
    // The rectangle in the view's viewport, in global coordinates.
    QRect globalRect(const QRect& local) const
    {
        return isValid() ? QRect(m_view->viewport()->mapToGlobal(local.topLeft()), local.size()) : QRect();
    }

    QAccessible::State visibility(const QRect& local) const
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.disabled = !m_view->isEnabled();
        state.invisible = !m_view->isVisible();
        state.offscreen = state.invisible || !m_view->viewport()->rect().intersects(local);
        return state;
    }

    QPointer<QAbstractItemView> m_view;
    QPersistentModelIndex m_index;
};

// One row: a list item, selectable as the view selects.
class RowElement : public ItemElement, public QAccessibleActionInterface
{
public:
    using ItemElement::ItemElement;

    QAccessibleInterface* parent() const override
    {
        return m_view ? QAccessible::queryAccessibleInterface(m_view.data()) : nullptr;
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QRect rect() const override { return isValid() ? globalRect(m_view->visualRect(m_index)) : QRect(); }

    QAccessible::State state() const override
    {
        QAccessible::State state = visibility(isValid() ? m_view->visualRect(m_index) : QRect());
        if (state.invalid)
            return state;
        const bool multiple = m_view->selectionMode() == QAbstractItemView::ExtendedSelection
            || m_view->selectionMode() == QAbstractItemView::MultiSelection;
        state.selectable = true;
        state.multiSelectable = multiple;
        state.extSelectable = m_view->selectionMode() == QAbstractItemView::ExtendedSelection;
        state.selected = m_view->selectionModel() && m_view->selectionModel()->isSelected(m_index);
        state.focusable = true;
        state.focused = m_view->hasFocus() && m_view->currentIndex() == m_index;
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface && !actionNames().isEmpty()
            ? static_cast<QAccessibleActionInterface*>(this)
            : nullptr;
    }
    QStringList actionNames() const override { return {}; }
    void doAction(const QString&) override { }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }
};

// A row of the library list: one selection.
class SelectionRowElement final : public RowElement
{
public:
    using RowElement::RowElement;

    QString text(QAccessible::Text t) const override
    {
        const Selection* s = selection();
        if (!s)
            return {};
        if (t == QAccessible::Name)
            return SelectionRowPainter::accessibleName(*s);
        // Qt's bridge publishes no value text: the description carries it too.
        if (t == QAccessible::Value || t == QAccessible::Description) {
            const auto* delegate = qobject_cast<SelectionListDelegate*>(m_view->itemDelegate());
            return delegate ? SelectionRowPainter::accessibleValue(delegate->content(m_index)) : QString();
        }
        return {};
    }

    QStringList actionNames() const override
    {
        if (!isValid() || !m_view->isEnabled())
            return {};
        return {LibraryAccessible::copyPlainTextAction(), LibraryAccessible::addToActivePromptAction(), toggleAction()};
    }

    void doAction(const QString& name) override
    {
        if (!actionNames().contains(name))
            return;
        auto* list = static_cast<LibrarySelectionList*>(m_view.data());
        // A copy: the store and the row may change under the command.
        const Selection s = *selection();
        if (name == LibraryAccessible::copyPlainTextAction())
            list->commands().copyPlainText(s);
        else if (name == LibraryAccessible::addToActivePromptAction())
            list->commands().addToPrompt(s);
        else if (name == toggleAction())
            list->selectionModel()->select(m_index, QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
    }

private:
    const Selection* selection() const
    {
        const auto* model = isValid() ? qobject_cast<const VisibleSelectionsModel*>(m_index.model()) : nullptr;
        return model ? &model->selectionAt(m_index.row()) : nullptr;
    }
};

// A row of a sidebar section: a prompt, the library, a group or a source.
class SidebarRowElement final : public RowElement
{
public:
    using RowElement::RowElement;

    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return {};
        if (t == QAccessible::Name)
            return m_index.data(SidebarModel::TitleRole).toString();
        // A source is told apart by where its captures came from, then every row by its badge's
        // count (none for 0, as the badge); the bridge publishes the description, not the value.
        if (t == QAccessible::Value || t == QAccessible::Description) {
            QStringList parts;
            if (isSource())
                parts.append(m_index.data(SidebarModel::SubtitleRole).toString());
            if (const qsizetype count = m_index.data(SidebarModel::CountRole).toLongLong(); count > 0)
                parts.append(QString::number(count));
            return parts.join(u", "_s);
        }
        return {};
    }

    int childCount() const override { return isValid() && SidebarRowDelegate::hasHandle(m_index) ? 1 : 0; }
    QAccessibleInterface* child(int i) const override;
    int indexOfChild(const QAccessibleInterface* c) const override { return c && c == child(0) ? 0 : -1; }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        QAccessibleInterface* handle = child(0);
        return handle && handle->rect().contains(x, y) ? handle : nullptr;
    }

private:
    bool isSource() const
    {
        return m_index.data(SidebarModel::KindRole).value<SidebarModel::ItemKind>() == SidebarModel::ItemKind::source;
    }
};

// The drag handle of a group or source row.
class HandleElement final : public ItemElement
{
public:
    using ItemElement::ItemElement;

    QAccessibleInterface* parent() const override;
    QString text(QAccessible::Text t) const override
    {
        if (isValid() && (t == QAccessible::Name || t == QAccessible::Description || t == QAccessible::Help))
            return SidebarRowDelegate::handleHelp();
        return {};
    }
    // A picture of a grip: the bridge knows no grip role and would call it "unknown".
    QAccessible::Role role() const override { return QAccessible::Graphic; }
    QAccessible::State state() const override { return visibility(local()); }
    QRect rect() const override { return globalRect(local()); }

private:
    QRect local() const
    {
        return isValid() ? SidebarRowDelegate::handleRect(m_view->visualRect(m_index), m_index) : QRect();
    }
};

// The list: one child per row under the view's root. Row elements are made when asked for and
// kept under a key that names the row's record, so that a reader meets the same element for a
// row wherever it moves; those of rows that went are let go.
class ListElement final : public QAccessibleWidget
{
public:
    enum class Part { row, handle };
    using Key = std::function<QString(const QModelIndex&)>;
    using Maker = std::function<ItemElement*(QAbstractItemView*, const QModelIndex&, Part)>;

    ListElement(QAbstractItemView* view, Key key, Maker maker)
        : QAccessibleWidget(view, QAccessible::List)
        , m_key(std::move(key))
        , m_maker(std::move(maker))
    {
        if (QAbstractItemModel* model = view->model()) {
            const auto forget = [this] { forgetGone(); };
            m_connections = {
                QObject::connect(model, &QAbstractItemModel::rowsRemoved, view, forget),
                QObject::connect(model, &QAbstractItemModel::modelReset, view, forget),
                QObject::connect(model, &QAbstractItemModel::layoutChanged, view, forget),
            };
        }
    }

    ~ListElement() override
    {
        for (const QMetaObject::Connection& connection : std::as_const(m_connections))
            QObject::disconnect(connection);
        for (QAccessible::Id id : std::as_const(m_ids))
            QAccessible::deleteAccessibleInterface(id);
    }

    QAbstractItemView* view() const { return static_cast<QAbstractItemView*>(widget()); }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.multiSelectable = view()->selectionMode() == QAbstractItemView::ExtendedSelection
            || view()->selectionMode() == QAbstractItemView::MultiSelection;
        return state;
    }

    int childCount() const override { return view()->model() ? view()->model()->rowCount(view()->rootIndex()) : 0; }

    QAccessibleInterface* child(int i) const override
    {
        if (i < 0 || i >= childCount())
            return nullptr;
        return element(view()->model()->index(i, 0, view()->rootIndex()), Part::row);
    }

    int indexOfChild(const QAccessibleInterface* c) const override
    {
        const auto* row = dynamic_cast<const RowElement*>(c);
        if (!row || !row->isValid() || row->index().parent() != view()->rootIndex())
            return -1;
        return row->index().row();
    }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
        return index.isValid() ? element(index, Part::row) : nullptr;
    }

    QAccessibleInterface* focusChild() const override
    {
        const QModelIndex current = view()->currentIndex();
        return view()->hasFocus() && current.isValid() ? element(current, Part::row) : nullptr;
    }

    // The element of a row or of its handle, made once and kept while its row exists.
    QAccessibleInterface* element(const QModelIndex& index, Part part) const
    {
        if (!index.isValid())
            return nullptr;
        const QString key = m_key(index) + (part == Part::handle ? u"\u001Fhandle"_s : QString());
        if (const auto found = m_ids.constFind(key); found != m_ids.cend()) {
            auto* known = static_cast<ItemElement*>(QAccessible::accessibleInterface(*found));
            if (known && known->isValid() && known->index() == index)
                return known;
            QAccessible::deleteAccessibleInterface(*found);
            m_ids.remove(key);
        }
        ItemElement* made = m_maker(view(), index, part);
        m_ids.insert(key, QAccessible::registerAccessibleInterface(made));
        return made;
    }

private:
    void forgetGone()
    {
        for (auto it = m_ids.begin(); it != m_ids.end();) {
            QAccessibleInterface* known = QAccessible::accessibleInterface(it.value());
            if (known && known->isValid()) {
                ++it;
                continue;
            }
            if (known)
                QAccessible::deleteAccessibleInterface(it.value());
            it = m_ids.erase(it);
        }
    }

    Key m_key;
    Maker m_maker;
    mutable QHash<QString, QAccessible::Id> m_ids;
    QList<QMetaObject::Connection> m_connections;
};

ListElement* listElement(QAbstractItemView* view)
{
    return view ? dynamic_cast<ListElement*>(QAccessible::queryAccessibleInterface(view)) : nullptr;
}

QAccessibleInterface* SidebarRowElement::child(int i) const
{
    ListElement* owner = i == 0 && childCount() == 1 ? listElement(m_view) : nullptr;
    return owner ? owner->element(m_index, ListElement::Part::handle) : nullptr;
}

QAccessibleInterface* HandleElement::parent() const
{
    ListElement* owner = isValid() ? listElement(m_view) : nullptr;
    return owner ? owner->element(m_index, ListElement::Part::row) : nullptr;
}

QString selectionKey(const QModelIndex& index)
{
    return index.data(VisibleSelectionsModel::IdRole).toUuid().toString();
}

QString sidebarKey(const QModelIndex& index)
{
    return QString::number(int(index.data(SidebarModel::KindRole).value<SidebarModel::ItemKind>())) + u'\u001F'
        + index.data(SidebarModel::IdRole).toUuid().toString() + u'\u001F'
        + index.data(SidebarModel::SourceIdentifierRole).toString();
}

// The add-to-prompt banner: one element, its text, without its symbol and label beneath.
class BannerElement final : public QAccessibleWidget
{
public:
    explicit BannerElement(AddToPromptBanner* banner)
        : QAccessibleWidget(banner, QAccessible::StaticText)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? static_cast<AddToPromptBanner*>(widget())->text() : QString();
    }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
};

QAccessibleInterface* factory(const QString& key, QObject* object)
{
    if (key == u"AddToPromptBanner"_s)
        if (auto* banner = qobject_cast<AddToPromptBanner*>(object))
            return new BannerElement(banner);
    if (key == u"LibrarySelectionList"_s)
        if (auto* list = qobject_cast<LibrarySelectionList*>(object))
            return new ListElement(list, selectionKey,
                [](QAbstractItemView* view, const QModelIndex& index, ListElement::Part) -> ItemElement* {
                    return new SelectionRowElement(view, index);
                });
    if (key == u"SidebarSectionList"_s)
        if (auto* list = qobject_cast<SidebarSectionList*>(object))
            return new ListElement(list, sidebarKey,
                [](QAbstractItemView* view, const QModelIndex& index, ListElement::Part part) -> ItemElement* {
                    if (part == ListElement::Part::handle)
                        return new HandleElement(view, index);
                    return new SidebarRowElement(view, index);
                });
    return nullptr;
}

} // namespace

namespace LibraryAccessible {

void install()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

QString copyPlainTextAction()
{
    return u"Copy plain text"_s;
}

QString addToActivePromptAction()
{
    return u"Add to active prompt"_s;
}

} // namespace LibraryAccessible
