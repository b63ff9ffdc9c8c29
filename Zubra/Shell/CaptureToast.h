#pragma once
// The small floating notice that reports each capture: near the top of the screen under the
// pointer, fading in, staying 1.7 s and fading out, never taking the keyboard focus. One at a
// time: a new notice replaces the one on screen at once.

#include <QImage>
#include <QList>
#include <QMargins>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class DispatchWorkItem;
class MainQueue;
struct Selection;

struct CaptureToastView
{
    bool success = false; // a green check mark, else an orange warning triangle
    QString title;
    QString snippet; // at most two lines
    std::optional<QString> source; // one line, shown when present and not empty

    // The notice of a saved selection: "Saved · " and the application; the headline; the
    // address or path, led by "added to Prompt" when it went into the prompt. Long texts are
    // cut before anything measures or scans them.
    static CaptureToastView saved(const Selection& selection, bool addedToPrompt);

    friend bool operator==(const CaptureToastView&, const CaptureToastView&) = default;
};

// One notice, drawn: an icon beside a title, up to two lines of snippet and a source line.
class CaptureToastWidget final : public QWidget
{
    Q_OBJECT

public:
    // The notice's usual widest; a snippet that two lines of it cannot hold widens the notice
    // (up to maxWidth) when that lets the two lines hold it whole.
    static constexpr int preferredWidth = 480;
    // The shadow under a rounded notice: black at 18 %, blurred over 14, 4 lower.
    static constexpr qreal shadowOpacity = 0.18;
    static constexpr int shadowRadius = 14;
    static constexpr int shadowOffset = 4;

    // maxWidth bounds the notice itself, the padding included. Rounded corners and the shadow
    // need a compositing manager: without one the notice is a plain opaque rectangle, since
    // transparent pixels would show black.
    CaptureToastWidget(const CaptureToastView& view, int maxWidth, bool rounded = true);

    bool rounded() const { return m_rounded; }
    // The notice inside the window; the rest of the window is its shadow.
    QRect cardRect() const { return rect().marginsRemoved(m_shadowMargins); }
    QMargins shadowMargins() const { return m_shadowMargins; }

    const CaptureToastView& view() const { return m_view; }
    // The lines as drawn, after wrapping and eliding.
    QString titleLine() const { return m_title; }
    QStringList snippetLines() const { return m_snippet; }
    QString sourceLine() const { return m_source; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CaptureToastView m_view;
    bool m_rounded = true;
    QMargins m_shadowMargins;
    QImage m_shadow;
    QString m_title;
    QStringList m_snippet;
    QString m_source;
};

class CaptureToastController final : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds fadeIn {140};
    static constexpr std::chrono::milliseconds dismissAfter {1700};
    static constexpr std::chrono::milliseconds fadeOut {250};
    static constexpr std::chrono::milliseconds frame {16};
    static constexpr int widthLimit = CaptureToastWidget::preferredWidth;
    static constexpr int screenMargin = 32; // the notice stays this much narrower than the screen
    static constexpr int topGap = 8; // below the top of the screen's available area

    struct Screen
    {
        QRect frame;
        QRect available; // without panels and docks
    };
    // The screens (the first is the primary one) and the pointer position.
    struct Desktop
    {
        QList<Screen> screens;
        QPoint pointer;
    };

    explicit CaptureToastController(std::shared_ptr<MainQueue> queue, QObject* parent = nullptr);
    ~CaptureToastController() override;

    // The desktop's screens and pointer; by default Qt's.
    void setDesktopSource(std::function<Desktop()> source) { m_desktop = std::move(source); }
    // Whether a compositing manager runs, asked at each notice; by default the X server's answer.
    void setCompositingSource(std::function<bool()> source) { m_compositing = std::move(source); }

    void showSaved(const Selection& selection, bool addedToPrompt);
    void present(const CaptureToastView& view);

    // The notice on screen, when there is one.
    CaptureToastWidget* panel() const { return m_panel; }

    // The screen the notice goes to: the one under the pointer, else the primary one.
    static std::optional<Screen> screenFor(const Desktop& desktop);
    // Where a notice of that size goes on that screen: centred, topGap below the available top.
    static QPoint origin(const Screen& screen, QSize size);
    // The widest a notice may be on that screen: the preferred width, or a little less than the
    // screen when a snippet needs more.
    static int maxWidth(const Screen& screen);

private:
    void animate(QPointer<CaptureToastWidget> panel, std::chrono::nanoseconds start, bool in);
    void startFadeOut(QPointer<CaptureToastWidget> panel);
    void cancelPending();

    std::shared_ptr<MainQueue> m_queue;
    std::function<Desktop()> m_desktop;
    std::function<bool()> m_compositing;
    QPointer<CaptureToastWidget> m_panel;
    std::shared_ptr<DispatchWorkItem> m_dismissWork;
    std::shared_ptr<DispatchWorkItem> m_frameWork;
};
