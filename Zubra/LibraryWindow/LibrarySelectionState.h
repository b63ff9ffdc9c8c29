#pragma once
// The library list's multi-selection and the selection the detail pane inspects, owned by the
// main window and written by the list.

#include <QObject>
#include <QList>
#include <QSet>
#include <QUuid>
#include <functional>
#include <optional>

class LibrarySelectionState : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    const QSet<QUuid>& selectedIDs() const { return m_selectedIDs; }
    const std::optional<QUuid>& detailSelectionID() const { return m_detailSelectionID; }

    // Sets both as they are given (toolbar actions, tests).
    void set(const QSet<QUuid>& selected, const std::optional<QUuid>& detail);
    void setDetailSelectionID(const std::optional<QUuid>& id);

    // The list's write of a new multi-selection: the inspected selection becomes one of the newly
    // added identifiers, else one of the set, else none.
    void writeSelection(const QSet<QUuid>& selected);

    // After the visible rows changed: drops the selected identifiers that are no longer shown and,
    // when the inspected one has gone, inspects one of the remaining selection (or none).
    void keepVisible(const std::function<bool(const QUuid&)>& isVisible);
    // After these rows left the list: the same, looking at them and the selection once.
    void forget(const QList<QUuid>& gone);

signals:
    void selectedIDsChanged();
    void detailSelectionIDChanged();

private:
    QSet<QUuid> m_selectedIDs;
    std::optional<QUuid> m_detailSelectionID;
};
