#include "Zubra/Shell/CaptureToast.h"

#include "Platform/MainQueue.h"
#include "Zubra/Shell/CaptureToastWindowSystem.h"
#include "Zubra/Widgets/Symbols.h"
#include "Zubra/Widgets/WrappedLines.h"
#include "ZubraCore/Library/Selection.h"

#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTextLayout>
#include <algorithm>
#include <vector>

namespace {
// Texts from a capture can be megabytes long: only these many UTF-16 units are ever looked at.
constexpr qsizetype headlineScanLimit = 4096;
constexpr qsizetype snippetLimit = 1024;
constexpr qsizetype titleLimit = 256;
constexpr qsizetype sourceEndLimit = 512; // kept from each end of a long source
constexpr int horizontalPadding = 14;
constexpr int verticalPadding = 10;
constexpr int iconSide = 20;
constexpr int iconSpacing = 10;
constexpr int lineSpacing = 2;
constexpr int cornerRadius = 12;
const QString middleDot = QStringLiteral(" \u00b7 ");

// The first n UTF-16 units, never ending inside a surrogate pair.
QString head(const QString& text, qsizetype n)
{
    if (text.size() <= n)
        return text;
    if (n > 0 && text[n - 1].isHighSurrogate())
        --n;
    return text.first(n);
}

// The last n UTF-16 units, never starting inside a surrogate pair.
QString tail(const QString& text, qsizetype n)
{
    if (text.size() <= n)
        return text;
    qsizetype from = text.size() - n;
    if (text[from].isLowSurrogate())
        ++from;
    return text.mid(from);
}

// A long text's two ends with an ellipsis between them, so eliding in the middle still shows both.
QString bothEnds(const QString& text)
{
    if (text.size() <= 2 * sourceEndLimit)
        return text;
    return head(text, sourceEndLimit) + QStringLiteral("\u2026") + tail(text, sourceEndLimit);
}

QString oneLine(QString text)
{
    for (QChar& c : text)
        if (c == u'\n' || c == u'\r' || c == u'\t' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    return text;
}

QFont fontOfSize(int pixelSize, bool semibold)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixelSize);
    if (semibold)
        font.setWeight(QFont::DemiBold);
    return font;
}

QFont titleFont()
{
    return fontOfSize(12, true);
}
QFont snippetFont()
{
    return fontOfSize(11, false);
}
QFont sourceFont()
{
    return fontOfSize(10, false);
}

// Whether two lines of that width hold the whole text.
bool fitsInTwoLines(const QString& text, const QFont& font, int width)
{
    return wrappedLineCount(text, font, width, 2) <= 2;
}

// The narrowest text width from `preferred` to `widest` at which two lines hold the snippet;
// `preferred` when even the widest cannot (the snippet is then cut at the end of its second line).
int snippetWidth(const QString& snippet, const QFont& font, int preferred, int widest)
{
    if (widest <= preferred || fitsInTwoLines(snippet, font, preferred) || !fitsInTwoLines(snippet, font, widest))
        return preferred;
    int low = preferred, high = widest; // low does not hold it, high does
    while (high - low > 1) {
        const int middle = (low + high) / 2;
        (fitsInTwoLines(snippet, font, middle) ? high : low) = middle;
    }
    return high;
}

// Three passes of a box blur over the alpha of a black shadow, about a Gaussian of that radius.
void blurAlpha(QImage& image, int radius)
{
    const int box = qMax(1, radius * 3 / 7);
    const int w = image.width(), h = image.height();
    std::vector<int> alpha(std::size_t(w) * std::size_t(h)), line(std::size_t(qMax(w, h)));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            alpha[std::size_t(y) * w + x] = qAlpha(image.pixel(x, y));
    const auto pass = [&](int count, int length, auto at) {
        for (int i = 0; i < count; ++i) {
            for (int j = 0; j < length; ++j)
                line[std::size_t(j)] = at(i, j);
            int sum = 0;
            for (int j = -box; j <= box; ++j)
                sum += (j >= 0 && j < length) ? line[std::size_t(j)] : 0;
            for (int j = 0; j < length; ++j) {
                at(i, j) = sum / (2 * box + 1);
                if (j - box >= 0)
                    sum -= line[std::size_t(j - box)];
                if (j + box + 1 < length)
                    sum += line[std::size_t(j + box + 1)];
            }
        }
    };
    for (int round = 0; round < 3; ++round) {
        pass(h, w, [&](int y, int x) -> int& { return alpha[std::size_t(y) * w + x]; });
        pass(w, h, [&](int x, int y) -> int& { return alpha[std::size_t(y) * w + x]; });
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgba(0, 0, 0, alpha[std::size_t(y) * w + x]));
}

// Up to two lines of the text in that width, the second ending in an ellipsis when cut.
QStringList wrapTwoLines(const QString& text, const QFont& font, int width)
{
    if (text.isEmpty())
        return {};
    QTextLayout layout(text, font);
    // A word wider than the line (a long address, a run without blanks) breaks anywhere.
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    QTextLine first = layout.createLine();
    first.setLineWidth(width);
    lines.append(text.mid(first.textStart(), first.textLength()).trimmed());
    const qsizetype rest = first.textStart() + first.textLength();
    layout.endLayout();
    if (rest < text.size()) {
        const QString remaining = text.mid(rest).trimmed();
        if (!remaining.isEmpty())
            lines.append(QFontMetrics(font).elidedText(remaining, Qt::ElideRight, width));
    }
    return lines;
}
} // namespace

CaptureToastView CaptureToastView::saved(const Selection& selection, bool addedToPrompt)
{
    // The headline of the text's beginning: the same first line for any sensible capture,
    // without trimming or scanning a text of any length.
    Selection beginning;
    beginning.text = head(selection.text, headlineScanLimit);
    CaptureToastView view;
    view.success = true;
    view.title = QStringLiteral("Saved") + middleDot + head(selection.appName, titleLimit);
    view.snippet = head(beginning.headline(), snippetLimit);

    std::optional<QString> detail = selection.sourceDetail();
    if (detail)
        detail = bothEnds(*detail);
    if (addedToPrompt)
        view.source = QStringLiteral("added to Prompt") + (detail ? middleDot + *detail : QString());
    else
        view.source = detail;
    return view;
}

CaptureToastWidget::CaptureToastWidget(const CaptureToastView& view, int maxWidth, bool rounded)
    : QWidget(nullptr,
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus
            | Qt::X11BypassWindowManagerHint)
    , m_view(view)
    , m_rounded(rounded)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground, rounded);
    setFocusPolicy(Qt::NoFocus);
    setObjectName(QStringLiteral("CaptureToast"));

    const QString title = oneLine(head(view.title, titleLimit));
    const QString snippet = oneLine(head(view.snippet, snippetLimit));
    const QString source = view.source ? oneLine(bothEnds(*view.source)) : QString();
    const QFontMetrics titleMetrics(titleFont()), snippetMetrics(snippetFont()), sourceMetrics(sourceFont());

    const int chrome = 2 * horizontalPadding + iconSide + iconSpacing;
    const int widest = qMax(40, maxWidth - chrome);
    const int textLimit = snippetWidth(snippet, snippetFont(), qMin(widest, preferredWidth - chrome), widest);
    const int natural = std::max({titleMetrics.horizontalAdvance(title), snippetMetrics.horizontalAdvance(snippet),
        source.isEmpty() ? 0 : sourceMetrics.horizontalAdvance(source)});
    const int textWidth = qMin(natural + 1, textLimit);

    m_title = titleMetrics.elidedText(title, Qt::ElideRight, textWidth);
    m_snippet = wrapTwoLines(snippet, snippetFont(), textWidth);
    if (!source.isEmpty())
        m_source = sourceMetrics.elidedText(source, Qt::ElideMiddle, textWidth);

    int textHeight = titleMetrics.height();
    if (!m_snippet.isEmpty())
        textHeight += lineSpacing + int(m_snippet.size()) * snippetMetrics.height();
    if (!m_source.isEmpty())
        textHeight += lineSpacing + sourceMetrics.height();
    const QSize card(chrome + textWidth, 2 * verticalPadding + qMax(textHeight, iconSide));
    if (m_rounded) {
        // The shadow's reach beyond the card, shifted down by its offset.
        m_shadowMargins
            = QMargins(shadowRadius, shadowRadius - shadowOffset, shadowRadius, shadowRadius + shadowOffset);
        m_shadow = QImage(card + QSize(2 * shadowRadius, 2 * shadowRadius), QImage::Format_ARGB32);
        m_shadow.fill(Qt::transparent);
        QPainter painter(&m_shadow);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, qRound(255 * shadowOpacity)));
        painter.drawRoundedRect(QRectF(QPointF(shadowRadius, shadowRadius), card), cornerRadius, cornerRadius);
        painter.end();
        blurAlpha(m_shadow, shadowRadius);
    }
    setFixedSize(card.grownBy(m_shadowMargins));
}

void CaptureToastWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect card = cardRect();
    if (!m_shadow.isNull())
        painter.drawImage(card.topLeft() - QPoint(shadowRadius, shadowRadius - shadowOffset), m_shadow);
    painter.translate(card.topLeft());
    const QPalette pal = palette();
    QColor background = pal.color(QPalette::Window);
    QColor text = pal.color(QPalette::WindowText);
    QPainterPath shape;
    const qreal radius = m_rounded ? cornerRadius : 0;
    shape.addRoundedRect(QRectF(QPointF(), card.size()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    if (!m_rounded)
        painter.fillRect(
            QRect(QPoint(), card.size()), background); // every pixel opaque, the border's half-pixel included
    painter.fillPath(shape, background);
    QColor border = text;
    border.setAlphaF(0.08f);
    painter.setPen(QPen(border, 1));
    painter.drawPath(shape);

    const QIcon icon = m_view.success ? Symbols::icon(Symbols::Symbol::checkmarkCircle, QColor(0x34, 0xc7, 0x59))
                                      : Symbols::icon(Symbols::Symbol::warningTriangle, QColor(0xff, 0x95, 0x00));
    icon.paint(&painter, QRect(horizontalPadding, verticalPadding, iconSide, iconSide));

    const int x = horizontalPadding + iconSide + iconSpacing;
    const int width = card.width() - x - horizontalPadding;
    int y = verticalPadding;
    const auto drawLine = [&](const QString& line, const QFont& font, qreal alpha) {
        const QFontMetrics metrics(font);
        QColor color = text;
        color.setAlphaF(float(alpha));
        painter.setFont(font);
        painter.setPen(color);
        painter.drawText(QRect(x, y, width, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter, line);
        y += metrics.height();
    };
    drawLine(m_title, titleFont(), 1.0);
    if (!m_snippet.isEmpty()) {
        y += lineSpacing;
        for (const QString& line : m_snippet)
            drawLine(line, snippetFont(), 0.72);
    }
    if (!m_source.isEmpty()) {
        y += lineSpacing;
        drawLine(m_source, sourceFont(), 0.5);
    }
}

CaptureToastController::CaptureToastController(std::shared_ptr<MainQueue> queue, QObject* parent)
    : QObject(parent)
    , m_queue(std::move(queue))
    , m_desktop([] {
        Desktop desktop;
        QList<QScreen*> screens = QGuiApplication::screens();
        if (QScreen* primary = QGuiApplication::primaryScreen()) {
            screens.removeAll(primary);
            screens.prepend(primary);
        }
        for (QScreen* screen : screens)
            desktop.screens.append({screen->geometry(), screen->availableGeometry()});
        desktop.pointer = QCursor::pos();
        return desktop;
    })
    , m_compositing(&CaptureToastWindowSystem::compositing)
{
}

CaptureToastController::~CaptureToastController()
{
    cancelPending();
    delete m_panel;
}

std::optional<CaptureToastController::Screen> CaptureToastController::screenFor(const Desktop& desktop)
{
    for (const Screen& screen : desktop.screens)
        if (screen.frame.contains(desktop.pointer))
            return screen;
    if (desktop.screens.isEmpty())
        return std::nullopt;
    return desktop.screens.first();
}

QPoint CaptureToastController::origin(const Screen& screen, QSize size)
{
    const QRect& area = screen.available;
    return {area.x() + (area.width() - size.width()) / 2, area.y() + topGap};
}

int CaptureToastController::maxWidth(const Screen& screen)
{
    return qMax(1, screen.available.width() - screenMargin);
}

void CaptureToastController::showSaved(const Selection& selection, bool addedToPrompt)
{
    present(CaptureToastView::saved(selection, addedToPrompt));
}

void CaptureToastController::cancelPending()
{
    if (m_dismissWork)
        m_dismissWork->cancel();
    if (m_frameWork)
        m_frameWork->cancel();
    m_dismissWork.reset();
    m_frameWork.reset();
}

void CaptureToastController::present(const CaptureToastView& view)
{
    cancelPending();
    if (m_panel) {
        m_panel->hide();
        m_panel->deleteLater();
        m_panel = nullptr;
    }

    const auto screen = screenFor(m_desktop());
    auto* panel
        = new CaptureToastWidget(view, screen ? maxWidth(*screen) : widthLimit, m_compositing && m_compositing());
    // The card goes where the notice belongs; its shadow reaches around it.
    if (screen)
        panel->move(origin(*screen, panel->cardRect().size()) - panel->cardRect().topLeft());
    panel->setWindowOpacity(0.0);
    panel->show();
    CaptureToastWindowSystem::flush();
    m_panel = panel;

    animate(m_panel, m_queue->now(), true);
    QPointer<CaptureToastWidget> shown = m_panel;
    m_dismissWork = std::make_shared<DispatchWorkItem>([this, shown] { startFadeOut(shown); });
    m_queue->asyncAfter(dismissAfter, m_dismissWork);
}

void CaptureToastController::startFadeOut(QPointer<CaptureToastWidget> panel)
{
    if (panel && panel == m_panel)
        animate(panel, m_queue->now(), false);
}

void CaptureToastController::animate(QPointer<CaptureToastWidget> panel, std::chrono::nanoseconds start, bool in)
{
    if (!panel || panel != m_panel)
        return;
    const std::chrono::nanoseconds duration = in ? std::chrono::nanoseconds(fadeIn) : std::chrono::nanoseconds(fadeOut);
    const double progress = qBound(0.0, double((m_queue->now() - start).count()) / double(duration.count()), 1.0);
    panel->setWindowOpacity(in ? progress : 1.0 - progress);
    // Each step reaches the compositing manager now, not with the next unrelated X traffic.
    CaptureToastWindowSystem::flush();
    if (progress < 1.0) {
        m_frameWork = std::make_shared<DispatchWorkItem>([this, panel, start, in] { animate(panel, start, in); });
        m_queue->asyncAfter(frame, m_frameWork);
    } else if (!in) {
        // Faded out: the notice leaves unless another has taken its place meanwhile.
        panel->hide();
        panel->deleteLater();
        m_panel = nullptr;
        m_frameWork.reset();
    } else {
        m_frameWork.reset();
    }
}
