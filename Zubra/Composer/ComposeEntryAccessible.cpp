#include "Zubra/Composer/ComposeEntryAccessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {

using Part = ComposeEntryRow::Part;

constexpr Part rowParts[] = {Part::checkbox, Part::handle, Part::menu};

QString moveUpAction()
{
    return u"Move Up"_s;
}

QString moveDownAction()
{
    return u"Move Down"_s;
}

// What the virtual elements of one row share: the list and the entry, found again on every
// question, so that an element answers for its entry wherever the entry's row has moved.
class RowElement : public QAccessibleInterface
{
public:
    RowElement(ComposeEntryList* list, const QUuid& entryID)
        : m_list(list)
        , m_entryID(entryID)
    {
    }

    bool isValid() const override { return m_list && index().isValid(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_list ? m_list->window()->windowHandle() : nullptr; }
    void setText(QAccessible::Text, const QString&) override { }
    QList<std::pair<QAccessibleInterface*, QAccessible::Relation>> relations(QAccessible::Relation) const override
    {
        return {};
    }
    const QUuid& entryID() const { return m_entryID; }

protected:
    QModelIndex index() const { return m_list ? m_list->indexOfEntry(m_entryID) : QModelIndex(); }
    std::optional<Selection> selection() const
    {
        const QModelIndex i = index();
        return i.isValid() ? m_list->selection(i) : std::nullopt;
    }
    bool included() const { return m_list && m_list->isIncluded(index()); }
    bool isShowing(const QRect& local) const
    {
        return m_list && m_list->isVisible() && m_list->viewport()->rect().intersects(local);
    }

    QPointer<ComposeEntryList> m_list;
    QUuid m_entryID;
};

class ListElement;
ListElement* listElement(ComposeEntryList* list);

class PartElement final : public RowElement, public QAccessibleActionInterface
{
public:
    PartElement(ComposeEntryList* list, const QUuid& entryID, Part part)
        : RowElement(list, entryID)
        , m_part(part)
    {
    }

    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        const auto s = selection();
        if (!s)
            return {};
        switch (m_part) {
        case Part::checkbox:
            if (t == QAccessible::Name)
                return ComposeEntryRow::includeLabel(*s);
            if (t == QAccessible::Description || t == QAccessible::Help)
                return ComposeEntryRow::includeHelp(included());
            if (t == QAccessible::Value)
                return ComposeEntryRow::includeValue(included());
            break;
        case Part::handle:
            if (t == QAccessible::Name)
                return ComposeEntryRow::handleLabel();
            if (t == QAccessible::Description || t == QAccessible::Help)
                return ComposeEntryRow::handleHelp();
            break;
        case Part::menu:
            if (t == QAccessible::Name)
                return ComposeEntryRow::menuLabel(*s);
            if (t == QAccessible::Description || t == QAccessible::Help)
                return ComposeEntryRow::menuHelp();
            break;
        case Part::none:
            break;
        }
        return {};
    }

    QAccessible::Role role() const override
    {
        switch (m_part) {
        case Part::checkbox:
            return QAccessible::CheckBox;
        case Part::menu:
            return QAccessible::ButtonMenu;
        case Part::handle:
        case Part::none:
            break;
        }
        return QAccessible::Grip;
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        const QModelIndex i = index();
        state.focusable = true;
        state.focused = m_list->hasFocus() && m_list->currentIndex() == i && m_list->focusedPart() == m_part;
        state.disabled = !m_list->isEnabled();
        const QRect local = m_list->visualRect(i);
        state.invisible = !m_list->isVisible();
        state.offscreen = !isShowing(local);
        if (m_part == Part::checkbox) {
            state.checkable = true;
            state.checked = included();
        } else if (m_part == Part::menu) {
            state.hasPopup = true;
        }
        return state;
    }

    QRect rect() const override { return isValid() ? m_list->globalPartRect(index(), m_part) : QRect(); }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    QStringList actionNames() const override
    {
        if (!isValid() || !m_list->isEnabled())
            return {};
        switch (m_part) {
        case Part::checkbox:
            return {toggleAction()};
        case Part::menu:
            return {showMenuAction()};
        case Part::handle: {
            QStringList names;
            const int row = m_list->sourceRow(index());
            if (row > 0)
                names.append(moveUpAction());
            if (row < m_list->entryCount() - 1)
                names.append(moveDownAction());
            return names;
        }
        case Part::none:
            break;
        }
        return {};
    }

    void doAction(const QString& name) override
    {
        if (!actionNames().contains(name))
            return;
        if (name == moveUpAction() || name == moveDownAction())
            m_list->moveByKeyboard(index(), name == moveUpAction() ? -1 : 1);
        else
            m_list->activatePart(index(), m_part);
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    Part m_part;
};

class RowItemElement final : public RowElement
{
public:
    using RowElement::RowElement;

    QAccessibleInterface* parent() const override
    {
        return m_list ? QAccessible::queryAccessibleInterface(m_list.data()) : nullptr;
    }

    int childCount() const override { return isValid() ? 3 + (m_list->noteField(index()) ? 1 : 0) : 0; }

    QAccessibleInterface* child(int i) const override
    {
        if (!isValid() || i < 0)
            return nullptr;
        if (i < 3)
            return ComposeEntryAccessible::part(m_list, m_entryID, rowParts[i]);
        QWidget* note = m_list->noteField(index());
        return i == 3 && note ? QAccessible::queryAccessibleInterface(note) : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* c) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (child(i) == c)
                return i;
        return -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (QAccessibleInterface* c = child(i); c && c->rect().contains(x, y))
                return c;
        return nullptr;
    }

    QAccessibleInterface* focusChild() const override
    {
        if (!isValid() || !m_list->hasFocus() || m_list->currentIndex() != index())
            return nullptr;
        return ComposeEntryAccessible::part(m_list, m_entryID, m_list->focusedPart());
    }

    QString text(QAccessible::Text t) const override
    {
        const auto s = selection();
        if (!s)
            return {};
        // The row reads as its headline and whether it goes into the prompt.
        if (t == QAccessible::Name)
            return ComposeEntryRow::headline(*s);
        if (t == QAccessible::Description || t == QAccessible::Value)
            return ComposeEntryRow::includeValue(included());
        return {};
    }

    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.checkable = true;
        state.checked = included();
        state.disabled = !m_list->isEnabled();
        state.invisible = !m_list->isVisible();
        state.offscreen = !isShowing(m_list->visualRect(index()));
        return state;
    }

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect local = m_list->visualRect(index());
        return QRect(m_list->viewport()->mapToGlobal(local.topLeft()), local.size());
    }
};

class ListElement final : public QAccessibleWidget
{
public:
    explicit ListElement(ComposeEntryList* list)
        : QAccessibleWidget(list, QAccessible::List)
    {
    }

    ~ListElement() override
    {
        for (QAccessible::Id id : std::as_const(m_ids))
            QAccessible::deleteAccessibleInterface(id);
    }

    ComposeEntryList* list() const { return static_cast<ComposeEntryList*>(widget()); }

    int childCount() const override { return list()->visibleRowCount(); }

    QAccessibleInterface* child(int i) const override
    {
        if (i < 0 || i >= childCount())
            return nullptr;
        return element(list()->entryID(list()->model()->index(i, 0)), Part::none);
    }

    int indexOfChild(const QAccessibleInterface* c) const override
    {
        const auto* row = dynamic_cast<const RowItemElement*>(c);
        return row && row->isValid() ? list()->indexOfEntry(row->entryID()).row() : -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QModelIndex i = list()->indexAt(list()->viewport()->mapFromGlobal(QPoint(x, y)));
        return i.isValid() ? element(list()->entryID(i), Part::none) : nullptr;
    }

    QAccessibleInterface* focusChild() const override
    {
        const QModelIndex i = list()->currentIndex();
        if (!list()->hasFocus() || !i.isValid())
            return nullptr;
        return element(list()->entryID(i), list()->focusedPart());
    }

    // The element of a row (none) or of one of its controls, made once and kept.
    QAccessibleInterface* element(const QUuid& entryID, Part part) const
    {
        const auto key = std::pair(entryID, int(part));
        if (const auto found = m_ids.constFind(key); found != m_ids.cend())
            if (QAccessibleInterface* known = QAccessible::accessibleInterface(*found))
                return known;
        QAccessibleInterface* made = part == Part::none
            ? static_cast<QAccessibleInterface*>(new RowItemElement(list(), entryID))
            : new PartElement(list(), entryID, part);
        m_ids.insert(key, QAccessible::registerAccessibleInterface(made));
        return made;
    }

    // The elements of entries that have no row any more.
    void forgetMissing()
    {
        if (m_ids.isEmpty())
            return;
        QSet<QUuid> shown;
        for (int r = 0; r < list()->visibleRowCount(); ++r)
            shown.insert(list()->entryID(list()->model()->index(r, 0)));
        for (auto it = m_ids.begin(); it != m_ids.end();) {
            if (shown.contains(it.key().first)) {
                ++it;
                continue;
            }
            QAccessible::deleteAccessibleInterface(it.value());
            it = m_ids.erase(it);
        }
    }

    bool knows(const QUuid& entryID, Part part) const { return m_ids.contains(std::pair(entryID, int(part))); }

private:
    mutable QHash<std::pair<QUuid, int>, QAccessible::Id> m_ids;
};

ListElement* listElement(ComposeEntryList* list)
{
    return list ? dynamic_cast<ListElement*>(QAccessible::queryAccessibleInterface(list)) : nullptr;
}

QAccessibleInterface* PartElement::parent() const
{
    ListElement* owner = listElement(m_list);
    return owner && isValid() ? owner->element(m_entryID, Part::none) : nullptr;
}

} // namespace

namespace ComposeEntryAccessible {

QAccessibleInterface* elementFor(const QString& key, QObject* object)
{
    if (key == u"ComposeEntryList"_s)
        if (auto* list = qobject_cast<ComposeEntryList*>(object))
            return new ListElement(list);
    return nullptr;
}

QAccessibleInterface* part(ComposeEntryList* list, const QUuid& entryID, ComposeEntryRow::Part part)
{
    ListElement* owner = listElement(list);
    if (!owner || !list->indexOfEntry(entryID).isValid())
        return nullptr;
    return owner->element(entryID, part);
}

void partFocused(ComposeEntryList* list, const QUuid& entryID, ComposeEntryRow::Part focused)
{
    if (!QAccessible::isActive())
        return;
    if (QAccessibleInterface* element = part(list, entryID, focused)) {
        QAccessibleEvent event(element, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

void forgetMissing(ComposeEntryList* list)
{
    if (ListElement* owner = listElement(list))
        owner->forgetMissing();
}

void entryChanged(ComposeEntryList* list, const QUuid& entryID)
{
    if (!QAccessible::isActive())
        return;
    ListElement* owner = listElement(list);
    if (!owner)
        return;
    // Only elements someone has asked for can have changed for them.
    if (!owner->knows(entryID, Part::checkbox))
        return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(owner->element(entryID, Part::checkbox), changed);
    QAccessible::updateAccessibility(&event);
    QAccessibleEvent described(owner->element(entryID, Part::checkbox), QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&described);
}

} // namespace ComposeEntryAccessible
