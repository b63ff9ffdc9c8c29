#pragma once
// The inspector of one captured selection: header (application icon, title, source, capture
// time), the captured passage rendered from its Markdown, its groups, its provenance and a footer
// of commands (copies, group, prompt and the "More" menu). The footer shows labelled buttons when
// they fit and icons only when they do not. Every change goes through the store, every copy
// through the clipboard writers, every address and file through the workspace.

#include "Zubra/LibraryWindow/LibraryEnvironment.h"
#include "ZubraCore/Library/Selection.h"
#include "ZubraCore/Library/SelectionGroup.h"

#include <QWidget>
#include <functional>
#include <optional>

class DecoratedWidget;
class DecorativeImage;
class PassageView;
class QFormLayout;
class QGroupBox;
class QLabel;
class QMenu;
class QScrollArea;
class QToolButton;
class QVBoxLayout;
class Store;

class SelectionDetailView : public QWidget
{
    Q_OBJECT

public:
    // The environment must outlive the view.
    SelectionDetailView(Store& store, const LibraryEnvironment& environment, QWidget* parent = nullptr);

    // Shows the selection (a value copy); the view follows the store's changes of groups and
    // drafts, and the presenter passes the selection again when it changes.
    void setSelection(const Selection& selection);
    const std::optional<Selection>& selection() const { return m_selection; }
    // Run by "Delete"; does nothing by default.
    void setOnDelete(std::function<void()> onDelete) { m_onDelete = std::move(onDelete); }

    // Derived values, as shown.
    QString recordTitle() const;
    bool isInActivePrompt() const;
    QList<SelectionGroup> groups() const;
    // "1234 characters": user-perceived characters of the plain text.
    static QString lengthText(const QString& text);

    // Commands.
    void copyMarkdown();
    void copyPlainText();
    void copyAllFromSource();
    void addToPrompt();
    void openInBrowser();
    void copyURL();
    void revealInFileManager();
    void addToGroup(const QUuid& groupID);

    // The parts, for tests and the export.
    PassageView* passage() const { return m_passage; }
    QScrollArea* contentScroll() const { return m_scroll; }
    bool showsCompactFooter() const;
    bool copiedMarkdown() const { return m_copiedMarkdown; }
    bool copiedPlain() const { return m_copiedPlain; }
    // The "More" menu's and the "Group" menu's items, built for the current state.
    void fillMoreMenu(QMenu& menu);
    void fillGroupMenu(QMenu& menu);
    QToolButton* promptButton() const { return m_promptLabelled; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildHeader(QVBoxLayout* layout);
    void buildContent(QVBoxLayout* layout);
    void buildFooter(QVBoxLayout* layout);
    void refresh(); // everything that depends on the store
    void refreshFooter();
    void refreshGroups();
    void refreshProvenance();
    void updateFooterArrangement();
    void flash(bool& flag);

    Store& m_store;
    const LibraryEnvironment& m_environment;
    std::optional<Selection> m_selection;
    std::function<void()> m_onDelete;
    bool m_copiedMarkdown = false;
    bool m_copiedPlain = false;

    DecoratedWidget* m_header = nullptr;
    DecorativeImage* m_icon = nullptr;
    QLabel* m_title = nullptr;
    DecorativeImage* m_sourceIcon = nullptr;
    QLabel* m_source = nullptr;
    QLabel* m_date = nullptr;
    QScrollArea* m_scroll = nullptr;
    PassageView* m_passage = nullptr;
    QVBoxLayout* m_contentColumn = nullptr;
    QGroupBox* m_passageBox = nullptr;
    QGroupBox* m_groupsBox = nullptr;
    QVBoxLayout* m_groupsLayout = nullptr;
    QFormLayout* m_provenance = nullptr;
    QLabel* m_promptState = nullptr;

    QWidget* m_labelledFooter = nullptr;
    QWidget* m_compactFooter = nullptr;
    QToolButton* m_markdownLabelled = nullptr;
    QToolButton* m_plainLabelled = nullptr;
    QToolButton* m_promptLabelled = nullptr;
    QToolButton* m_markdownCompact = nullptr;
    QToolButton* m_plainCompact = nullptr;
    QToolButton* m_promptCompact = nullptr;
};
