#pragma once
// "About Tessellon": the application icon, the name, the version, one line on what Tessellon
// does, and the copyright, with a Close button.

#include <QDialog>

class AboutDialog final : public QDialog
{
    Q_OBJECT

public:
    static inline const QString windowTitleText = QStringLiteral("About Tessellon");
    static inline const QString summary = QStringLiteral(
        "Captures the text you select in other applications, with where it came from, and assembles it into "
        "prompts for large language models.");
    static inline const QString copyright = QStringLiteral("Copyright \u00a9 2026 Vesk");

    explicit AboutDialog(QWidget* parent = nullptr);

    // "Version " + the short version + " (" + the build + ")".
    static QString versionLine();
};
