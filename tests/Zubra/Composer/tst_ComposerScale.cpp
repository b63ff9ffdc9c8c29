// The composer's geometry at the desktop's scale factor (ctest runs this at 1 and 2) with a 9- and
// a 12-point font: symbols as tall as their text, sheets at least the sizes they are given and
// never with their buttons over the editor, the notice elided at two lines, the task field without
// a scroll bar while every line shows, wrapped labels with their last line, and a fixed-pitch font
// for the prompt text. Pictures of the composer in light and dark go to $TESSELLON_REVIEW_DIR.

#include "ComposerFixture.h"
#include "Zubra/Composer/ClampedLabel.h"
#include "Zubra/Composer/ComposeEntryList.h"
#include "Zubra/Composer/ComposerStyle.h"
#include "Zubra/Composer/ComposerSymbols.h"
#include "Zubra/Composer/DraftOperations.h"
#include "Zubra/Composer/PastedTextEdit.h"
#include "Zubra/SurfaceExport/SurfaceRenderer.h"
#include "support/TestMain.h"
#include "support/WidgetSnapshot.h"

#include <QAccessible>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>
#include <QTextCursor>
#include <QToolButton>

namespace {

QString scaleName()
{
    return qEnvironmentVariable("QT_SCALE_FACTOR", u"1"_s);
}

// Sets the application's font size for one test; puts the old font back after it.
struct FontSize
{
    explicit FontSize(int points, const QString& family = {})
        : m_old(QApplication::font())
    {
        QFont font = m_old;
        font.setPointSize(points);
        if (!family.isEmpty())
            font.setFamilies({family});
        QApplication::setFont(font);
    }
    ~FontSize() { QApplication::setFont(m_old); }
    QFont m_old;
};

void addFontRows()
{
    QTest::addColumn<int>("points");
    QTest::newRow("9 pt") << 9;
    QTest::newRow("12 pt") << 12;
}

// The fonts the text must fit in: 9 and 12 points of the default font, and the desktop's
// generic sans-serif family at the size a qt6ct desktop starts with.
void addFamilyRows()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<QString>("family");
    QTest::newRow("9 pt") << 9 << QString();
    QTest::newRow("12 pt") << 12 << QString();
    QTest::newRow("Sans Serif 9 pt") << 9 << u"Sans Serif"_s;
    QTest::newRow("Sans Serif 12 pt") << 12 << u"Sans Serif"_s;
}

// The whole of `widget` shows: no ancestor cuts it off.
bool showsWhole(const QWidget* widget)
{
    return widget->visibleRegion() == QRegion(widget->rect());
}

// The label's text, drawn as the label draws it, fits its contents: no line wider, no line's
// descenders below the bottom.
bool textFits(const QLabel* label)
{
    const QRect box
        = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
    const QRect needed = label->fontMetrics().boundingRect(
        QRect(0, 0, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX), int(Qt::AlignLeft | Qt::AlignTop), label->text());
    return needed.width() <= box.width() && needed.height() <= box.height();
}

QRect inside(const QWidget* widget, const QWidget* ancestor)
{
    return QRect(widget->mapTo(ancestor, QPoint()), widget->size());
}

} // namespace

class ComposerScaleTest : public QObject
{
    Q_OBJECT

private slots:
    void screenHasTheScale() { QCOMPARE(qApp->devicePixelRatio(), scaleName().toDouble()); }

    void symbolsStayInStepWithTheirText_data() { addFontRows(); }
    void symbolsStayInStepWithTheirText()
    {
        QFETCH(int, points);
        FontSize font(points);
        Composer c({u"alpha"_s});
        c.settle();
        const qreal ratio = c.view->devicePixelRatioF();
        QCOMPARE(ratio, qApp->devicePixelRatio());
        // The notice's symbol: as tall as the notice's text, drawn with the screen's pixels.
        const QPixmap notice = c.pane()->noticeSymbol()->pixmap();
        const int textHeight = c.pane()->noticeLabel()->fontMetrics().height();
        QCOMPARE(notice.deviceIndependentSize(), QSizeF(textHeight, textHeight));
        QCOMPARE(notice.size(), QSize(qRound(textHeight * ratio), qRound(textHeight * ratio)));
        QVERIFY(c.pane()->noticeSymbol()->sizeHint().height() <= textHeight + 1);
        c.view->state().setNotice(u"Removed excluded sources."_s);
        QCOMPARE(c.pane()->noticeSymbol()->pixmap().deviceIndependentSize(), QSizeF(textHeight, textHeight));
        // The empty list's symbol: 26 points.
        DraftOperations::removeEntry(c.store(), c.draftID, c.entry(0));
        c.settle();
        QCOMPARE(c.pane()->emptySymbol()->pixmap().deviceIndependentSize(), QSizeF(26, 26));
        QCOMPARE(ComposerSymbols::pixmap(ComposerSymbols::Symbol::scissors, Qt::black, 13, ratio).size(),
            QSize(qRound(13 * ratio), qRound(13 * ratio)));
        // The controls' symbols are drawn, not left out.
        for (const QString& text : {u"Template"_s, u"Import text\u2026"_s, u"Cleanup"_s}) {
            QToolButton* button = nullptr;
            for (QToolButton* b : c.view->findChildren<QToolButton*>())
                button = b->text() == text ? b : button;
            QVERIFY2(button && !button->icon().isNull(), qPrintable(text));
        }
        for (QAction* item : c.pane()->cleanupMenu()->actions())
            QVERIFY2(!item->icon().isNull(), qPrintable(item->text()));
    }

    void sheetsFitTheirContent_data()
    {
        QTest::addColumn<int>("points");
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QSize>("minimum");
        QTest::addColumn<QSize>("ideal");
        for (int points : {9, 12}) {
            const QString size = QString::number(points) + u" pt"_s;
            QTest::newRow(qPrintable(u"trim, "_s + size)) << points << u"trim"_s << QSize(440, 320) << QSize(520, 380);
            QTest::newRow(qPrintable(u"import, "_s + size))
                << points << u"import"_s << QSize(460, 360) << QSize(540, 420);
            QTest::newRow(qPrintable(u"template, "_s + size))
                << points << u"template"_s << QSize(320, 0) << QSize(360, 0);
        }
    }
    void sheetsFitTheirContent()
    {
        QFETCH(int, points);
        QFETCH(QString, sheet);
        QFETCH(QSize, minimum);
        QFETCH(QSize, ideal);
        FontSize font(points);
        std::unique_ptr<ComposerSheet> shown;
        QWidget* input = nullptr;
        if (sheet == u"trim"_s) {
            auto* trim = new EntryTrimSheet(ModelProfile::gpt4o(), u"Some text\nover lines"_s, nullptr, nullptr);
            input = trim->editor();
            shown.reset(trim);
        } else if (sheet == u"import"_s) {
            auto* import = new ImportSheet(u"First.\n\nSecond."_s, nullptr, nullptr);
            input = import->editor();
            shown.reset(import);
        } else {
            auto* save = new SaveTemplateSheet(u"Research summary"_s, nullptr, nullptr);
            input = save->field();
            shown.reset(save);
        }
        shown->show();
        QVERIFY(QTest::qWaitForWindowExposed(shown.get()));
        QApplication::processEvents();
        QVERIFY(shown->minimumWidth() >= minimum.width());
        QVERIFY(shown->minimumHeight() >= minimum.height());
        // It opens at its ideal size, or larger where its content needs more.
        QVERIFY(shown->width() >= ideal.width());
        QVERIFY(shown->height() >= ideal.height());
        WidgetSnapshot::saveForReview(shown->grab().toImage(),
            u"sheet-"_s + sheet + u"-"_s + QString::number(points) + u"pt-scale-"_s + scaleName() + u".png"_s);
        // At its smallest too, the buttons stand below the input and every text keeps its lines.
        for (const QSize size : {shown->size(), shown->minimumSize()}) {
            shown->resize(size);
            for (int turn = 0; turn < 3; ++turn)
                QApplication::processEvents();
            const QRect field = inside(input, shown.get());
            for (QPushButton* button : {shown->cancelButton(), shown->confirmButton()}) {
                const QRect place = inside(button, shown.get());
                QVERIFY2(place.top() >= field.bottom(), qPrintable(QDebug::toString(place) + QDebug::toString(field)));
                QVERIFY(shown->rect().contains(place));
            }
            for (QLabel* label : shown->findChildren<QLabel*>())
                if (label->wordWrap() && label->isVisible())
                    QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->text()));
        }
    }

    void noticeIsElidedAtTwoLines_data() { addFamilyRows(); }
    void noticeIsElidedAtTwoLines()
    {
        QFETCH(int, points);
        QFETCH(QString, family);
        FontSize font(points, family);
        Composer c({u"alpha"_s});
        c.view->state().noticeLifetime = std::chrono::hours(1);
        c.settle();
        const QString longNotice = u"Applied template \u201C"_s
            + QString(u"Typography gauging quirky pygmy yaks "_s).repeated(4) + u"\u201D."_s;
        c.view->state().setNotice(longNotice);
        for (int turn = 0; turn < 3; ++turn)
            QApplication::processEvents(); // each layout above the label in turn
        ClampedLabel* notice = c.pane()->noticeLabel();
        const QStringList lines = notice->text().split(u'\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.last().endsWith(u"\u2026"_s));
        QVERIFY(longNotice.startsWith(lines.first()));
        QCOMPARE(notice->fullText(), longNotice);
        // Assistive technology reads the whole notice.
        QCOMPARE(QAccessible::queryAccessibleInterface(notice)->text(QAccessible::Name), longNotice);
        // Both lines show whole, descenders included, and nothing above the label cuts it.
        QVERIFY2(textFits(notice), qPrintable(QString::number(notice->contentsRect().height())));
        QVERIFY(showsWhole(notice));
        // A short notice is one whole line.
        c.view->state().setNotice(u"Trim applied."_s);
        QCOMPARE(notice->text(), u"Trim applied."_s);
        QVERIFY(textFits(notice));
    }

    // The hint on trimmed text at the draft pane's narrowest, where it wraps: both lines whole.
    void hintShowsWholeInANarrowPane_data() { addFamilyRows(); }
    void hintShowsWholeInANarrowPane()
    {
        QFETCH(int, points);
        QFETCH(QString, family);
        FontSize font(points, family);
        Composer c({u"alpha"_s, u"beta"_s, u"gamma"_s});
        c.view->resize(700, 520);
        c.view->splitter()->setSizes({300, 400});
        c.settle();
        for (int turn = 0; turn < 3; ++turn)
            QApplication::processEvents();
        ClampedLabel* hint = c.pane()->noticeLabel();
        QCOMPARE(hint->fullText(), u"Trimmed text changes only this prompt."_s);
        QVERIFY(!hint->text().isEmpty());
        QVERIFY2(textFits(hint), qPrintable(hint->text()));
        QVERIFY(showsWhole(hint));
    }

    // Badges are whole words or elided ones, never cut through a letter; one without room for a
    // letter gives way, with those after it.
    void badgesAreWholeOrElided_data()
    {
        QTest::addColumn<int>("points");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("paneWidth");
        for (const int width : {300, 340, 380, 600}) {
            for (const int points : {9, 12}) {
                for (const QString& family : {QString(), u"Sans Serif"_s}) {
                    QTest::addRow(
                        "%s%d pt, pane %d", qPrintable(family.isEmpty() ? QString() : family + u" "_s), points, width)
                        << points << family << width;
                }
            }
        }
    }
    void badgesAreWholeOrElided()
    {
        QFETCH(int, points);
        QFETCH(QString, family);
        QFETCH(int, paneWidth);
        FontSize font(points, family);
        Composer c({u"Swift concurrency makes asynchronous code safer"_s});
        ContextDraft d = c.draft();
        d.entries[0].pin = true;
        d.entries[0].verbatim = true;
        d.entries[0].customText = u"Swift concurrency"_s;
        d.entries[0].note = u"check this"_s;
        c.store().updateDraft(d);
        c.view->resize(paneWidth + 420, 600);
        c.view->splitter()->setSizes({paneWidth, 400});
        c.settle();
        for (int turn = 0; turn < 3; ++turn)
            QApplication::processEvents();
        ComposeEntryList* list = c.pane()->entryList();
        const QRect row = list->visualRect(list->model()->index(0, 0));
        const QList<ComposeEntryRow::BadgePlace> places
            = list->row()->badgePlaces(row, c.draft().entries[0], list->font());
        const QStringList all = ComposeEntryRow::badges(c.draft().entries[0]);
        QVERIFY(!places.isEmpty());
        QVERIFY(places.size() <= all.size());
        const int handle = list->row()->partRect(row, ComposeEntryRow::Part::handle).left();
        int right = row.left();
        for (qsizetype i = 0; i < places.size(); ++i) {
            const ComposeEntryRow::BadgePlace& place = places[i];
            QCOMPARE(place.badge, all[i]);
            const bool whole = place.text == place.badge;
            // An elided word is the start of the badge's word and the ellipsis, and the last shown.
            QVERIFY2(whole
                    || (place.text.endsWith(u"\u2026"_s) && place.text.size() >= 2
                        && place.badge.startsWith(place.text.chopped(1)) && i == places.size() - 1),
                qPrintable(place.text));
            const QFontMetrics metrics(place.font);
            QVERIFY(metrics.horizontalAdvance(place.text) <= place.label.width());
            QVERIFY(metrics.height() <= place.label.height());
            QVERIFY(place.symbol.left() >= right && place.label.left() > place.symbol.right());
            QVERIFY2(place.label.right() < handle, qPrintable(place.text));
            QVERIFY(row.contains(place.label) && row.contains(place.symbol));
            right = place.label.right();
        }
        if (paneWidth >= 600)
            QCOMPARE(places.size(), all.size());
    }

    // A headline's first line may hold line breaks other than a lone line feed (a Windows text's
    // CR LF among them): the row draws it on one line, as the same words with a space between
    // them, and reads it so to assistive technology.
    void headlineIsOneLine_data()
    {
        QTest::addColumn<QString>("lineBreak");
        QTest::newRow("CR LF") << u"\r\n"_s;
        QTest::newRow("CR") << u"\r"_s;
        QTest::newRow("line separator") << u"\u2028"_s;
        QTest::newRow("paragraph separator") << u"\u2029"_s;
        QTest::newRow("form feed") << u"\f"_s;
    }
    void headlineIsOneLine()
    {
        QFETCH(QString, lineBreak);
        const QString spaced = u"Windows line one Windows line two"_s;
        Composer broken({u"Windows line one"_s + lineBreak + u"Windows line two"_s});
        Composer plain({spaced});
        const auto rowImage = [](Composer& c) {
            c.settle();
            for (int turn = 0; turn < 3; ++turn)
                QApplication::processEvents();
            ComposeEntryList* list = c.pane()->entryList();
            return list->viewport()->grab(list->visualRect(list->model()->index(0, 0))).toImage();
        };
        const QImage drawn = rowImage(broken);
        QVERIFY(!drawn.isNull());
        QCOMPARE(drawn, rowImage(plain));

        QAccessibleInterface* row = QAccessible::queryAccessibleInterface(broken.pane()->entryList())->child(0);
        QCOMPARE(row->text(QAccessible::Name), spaced);
        QCOMPARE(row->child(0)->text(QAccessible::Name), u"Include "_s + spaced);
        QCOMPARE(row->child(2)->text(QAccessible::Name), u"Options for "_s + spaced);
    }

    // "Copy Prompt" shows the clipboard symbol, "over budget" a red filled triangle: the
    // application's own drawings, as tall as their text.
    void budgetAndCopyDrawTheirOwnSymbols_data() { addFontRows(); }
    void budgetAndCopyDrawTheirOwnSymbols()
    {
        QFETCH(int, points);
        FontSize font(points);
        Composer c({QString(70000, u'y')});
        ContextDraft d = c.draft();
        d.modelProfileID = u"local-16k"_s;
        c.store().updateDraft(d);
        c.settle();
        QVERIFY(c.preview()->isOverBudget());
        const qreal ratio = c.view->devicePixelRatioF();
        QPushButton* copy = c.preview()->copyButton();
        const QSize iconSize = copy->iconSize();
        const QImage shown = copy->icon().pixmap(iconSize, ratio).toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage drawn = ComposerSymbols::pixmap(ComposerSymbols::Symbol::docOnClipboard,
            c.preview()->palette().color(QPalette::ButtonText), iconSize.width(), ratio)
                                 .toImage()
                                 .convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(shown, drawn);

        QLabel* words = nullptr;
        for (QLabel* label : c.preview()->findChildren<QLabel*>())
            words = label->text() == u"over budget"_s ? label : words;
        QVERIFY(words && words->isVisible());
        QLabel* symbol = nullptr;
        for (QLabel* label : words->parentWidget()->findChildren<QLabel*>())
            symbol = label->pixmap().isNull() ? symbol : label;
        QVERIFY(symbol);
        const QImage triangle = symbol->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(symbol->pixmap().deviceIndependentSize().height(), qreal(words->fontMetrics().height()));
        qsizetype red = 0;
        qsizetype yellow = 0;
        for (int y = 0; y < triangle.height(); ++y) {
            for (int x = 0; x < triangle.width(); ++x) {
                const QColor pixel = triangle.pixelColor(x, y);
                if (pixel.alpha() < 200)
                    continue;
                red += pixel.red() > 180 && pixel.green() < 110 && pixel.blue() < 110;
                yellow += pixel.red() > 180 && pixel.green() > 150 && pixel.blue() < 110;
            }
        }
        // Filled: red covers more than a quarter of the square (an outline would cover far less),
        // and nothing is yellow.
        QVERIFY2(red * 4 > qsizetype(triangle.width()) * triangle.height(), qPrintable(QString::number(red)));
        QCOMPARE(yellow, 0);
    }

    void taskFieldScrollsOnlyBeyondFiveLines_data()
    {
        QTest::addColumn<int>("points");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("scrollBar");
        const auto lines = [](int count) {
            QStringList text;
            for (int n = 1; n <= count; ++n)
                text.append(u"Line "_s + QString::number(n));
            return text.join(u'\n');
        };
        // One paragraph the field wraps into about three lines.
        const QString wrapping = QString(u"Summarise the sources for a reader in a hurry. "_s).repeated(4);
        for (int points : {9, 12}) {
            const QString size = QString::number(points) + u" pt, "_s;
            for (int count : {1, 3, 5, 8})
                QTest::newRow(qPrintable(size + QString::number(count) + u" lines"_s))
                    << points << lines(count) << (count > 5);
            QTest::newRow(qPrintable(size + u"wrapped"_s)) << points << wrapping << false;
        }
    }
    void taskFieldScrollsOnlyBeyondFiveLines()
    {
        QFETCH(int, points);
        QFETCH(QString, text);
        QFETCH(bool, scrollBar);
        FontSize font(points);
        Composer c({u"alpha"_s});
        ContextDraft d = c.draft();
        d.task = text;
        c.store().updateDraft(d);
        c.settle();
        for (int turn = 0; turn < 3; ++turn)
            QApplication::processEvents();
        QPlainTextEdit* task = c.pane()->taskField();
        QCOMPARE(task->verticalScrollBar()->isVisible(), scrollBar);
        if (!scrollBar) {
            // Every line is inside the field.
            QTextCursor end(task->document());
            end.movePosition(QTextCursor::End);
            QCOMPARE(task->verticalScrollBar()->value(), 0);
            QVERIFY(task->cursorRect(end).bottom() <= task->viewport()->height());
        }
    }

    void wrappedLabelsKeepTheirLastLine_data() { addFontRows(); }
    void wrappedLabelsKeepTheirLastLine()
    {
        QFETCH(int, points);
        FontSize font(points);
        Composer c;
        c.view->resize(700, 560);
        c.view->splitter()->setSizes({300, 400}); // the draft pane at its narrowest
        c.settle();
        for (int turn = 0; turn < 3; ++turn)
            QApplication::processEvents();
        QVERIFY(c.pane()->showsEmptyState());
        int checked = 0;
        for (QLabel* label : c.pane()->findChildren<QLabel*>()) {
            if (!label->isVisible() || !label->hasHeightForWidth() || label->text().isEmpty())
                continue;
            ++checked;
            QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->text()));
        }
        QVERIFY(checked >= 2); // the empty hint and the footer's hint
    }

    void promptTextIsFixedPitch()
    {
        QFont proportional(u"DejaVu Sans"_s);
        QVERIFY(!QFontInfo(proportional).fixedPitch());
        QVERIFY(QFontInfo(ComposerStyle::monospaced(proportional)).fixedPitch());
        QFont fixed(u"DejaVu Sans Mono"_s);
        QCOMPARE(QFontInfo(ComposerStyle::monospaced(fixed)).family(), QFontInfo(fixed).family());
    }

    void reviewPictures()
    {
        using AppScreenshotExporter::ColorScheme;
        for (const auto scheme : {ColorScheme::light, ColorScheme::dark}) {
            const QPalette old = QApplication::palette();
            QApplication::setPalette(AppScreenshotExporter::palette(scheme));
            Composer c({u"Swift concurrency makes asynchronous code safer"_s, u"git rebase -i HEAD~3"_s,
                u"Windows line one\r\nWindows line two"_s});
            ContextDraft d = c.draft();
            d.entries[0].pin = true;
            d.entries[0].note = u"check this"_s;
            d.entries[1].verbatim = true;
            d.entries[1].customText = u"git rebase"_s;
            c.store().updateDraft(d);
            c.settle();
            c.view->state().setNotice(u"Removed excluded sources."_s);
            for (int turn = 0; turn < 3; ++turn)
                QApplication::processEvents();
            WidgetSnapshot::saveForReview(c.view->grab().toImage(),
                u"composer-"_s + (scheme == ColorScheme::dark ? u"dark"_s : u"light"_s) + u"-scale-"_s + scaleName()
                    + u".png"_s);
            QVERIFY(!c.view->grab().isNull());
            // Every badge, a long notice and an over-budget meter, at 9 and 12 points, in a wide
            // and in the narrowest draft pane.
            for (const int points : {9, 12}) {
                FontSize font(points);
                Composer full({u"Swift concurrency makes asynchronous code safer"_s, QString(70000, u'y')});
                ContextDraft f = full.draft();
                f.modelProfileID = u"local-16k"_s;
                f.entries[0].pin = true;
                f.entries[0].verbatim = true;
                f.entries[0].customText = u"Swift concurrency"_s;
                f.entries[0].note = u"check this"_s;
                full.store().updateDraft(f);
                full.view->state().noticeLifetime = std::chrono::hours(1);
                full.view->state().setNotice(u"Applied template \u201C"_s
                    + QString(u"Typography gauging quirky pygmy yaks "_s).repeated(4) + u"\u201D."_s);
                for (const int pane : {300, 520}) {
                    full.view->resize(pane + 420, 600);
                    full.view->splitter()->setSizes({pane, 400});
                    full.settle();
                    for (int turn = 0; turn < 3; ++turn)
                        QApplication::processEvents();
                    WidgetSnapshot::saveForReview(full.view->grab().toImage(),
                        u"composer-badges-"_s + (scheme == ColorScheme::dark ? u"dark"_s : u"light"_s) + u"-"_s
                            + QString::number(points) + u"pt-pane-"_s + QString::number(pane) + u"-scale-"_s
                            + scaleName() + u".png"_s);
                }
            }
            Composer empty;
            empty.settle();
            WidgetSnapshot::saveForReview(empty.view->grab().toImage(),
                u"composer-empty-"_s + (scheme == ColorScheme::dark ? u"dark"_s : u"light"_s) + u"-scale-"_s
                    + scaleName() + u".png"_s);
            QApplication::setPalette(old);
        }
    }
};

TESSELLON_GUI_TEST_MAIN(ComposerScaleTest)
#include "tst_ComposerScale.moc"
