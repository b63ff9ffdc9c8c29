#pragma once
// The views that say why the library column looks as it does: the empty list, the library that
// cannot be opened, the missing accessibility support and the state of the library file.
// Each is drawn from its inputs; actions are handed in (the export passes ones that do nothing).

#include "ZubraCore/Library/StorePersistenceStatus.h"

#include <QColor>
#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;

// What the sidebar has chosen, as far as the empty list's explanation cares.
enum class EmptyStateScope { library, group, source };

struct EmptyStateContent
{
    QString symbol;
    QString title;
    QString subtitle;
    bool offersAccessibility = false;

    friend bool operator==(const EmptyStateContent&, const EmptyStateContent&) = default;
};

// The explanation of an empty list. The search text is taken as typed and trimmed here.
EmptyStateContent emptyStateContent(bool isFiltering, bool needsAccessibility, const QString& searchText,
    EmptyStateScope scope, const QString& hotkeyDisplay);

struct PersistenceStatusContent
{
    QString symbol;
    QColor color;
    QString title;
    QString message;
    bool offersReveal = false;
};

PersistenceStatusContent persistenceStatusContent(StorePersistenceStatus status);

// The text of the accessibility buttons.
QString turnOnAccessibilityTitle();

class EmptyStateView : public QWidget
{
    Q_OBJECT

public:
    explicit EmptyStateView(QWidget* parent = nullptr);

    void setState(bool isFiltering, bool needsAccessibility, const QString& searchText, EmptyStateScope scope,
        const QString& hotkeyDisplay);
    const EmptyStateContent& content() const { return m_content; }
    void setTurnOnAccessibility(std::function<void()> action) { m_turnOnAccessibility = std::move(action); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layOutSubtitle();

    EmptyStateContent m_content;
    QLabel* m_symbol = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_subtitle = nullptr;
    QPushButton* m_accessibility = nullptr;
    std::function<void()> m_turnOnAccessibility;
};

class UnavailableLibraryView : public QWidget
{
    Q_OBJECT

public:
    UnavailableLibraryView(LibraryRecoveryPresentation recovery, std::function<void()> revealLibraryFolder,
        QWidget* parent = nullptr);

    void setRecovery(LibraryRecoveryPresentation recovery);
    // Null while the presentation does not allow revealing the folder.
    QPushButton* revealButton() const;

private:
    QLabel* m_title = nullptr;
    QLabel* m_message = nullptr;
    QPushButton* m_reveal = nullptr;
    std::function<void()> m_revealLibraryFolder;
};

class PermissionBanner : public QWidget
{
    Q_OBJECT

public:
    explicit PermissionBanner(std::function<void()> turnOnAccessibility, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

class PersistenceStatusBanner : public QWidget
{
    Q_OBJECT

public:
    PersistenceStatusBanner(
        StorePersistenceStatus status, std::function<void()> revealLibraryFolder, QWidget* parent = nullptr);

    void setStatus(StorePersistenceStatus status);
    StorePersistenceStatus status() const { return m_status; }
    // Null while the status does not allow revealing the folder.
    QPushButton* revealButton() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    StorePersistenceStatus m_status;
    QLabel* m_symbol = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_message = nullptr;
    QWidget* m_revealHolder = nullptr;
    QPushButton* m_reveal = nullptr;
    std::function<void()> m_revealLibraryFolder;
};
