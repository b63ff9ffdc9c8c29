#include "Zubra/LibraryWindow/LibraryEnvironment.h"
#include "Zubra/LibraryWindow/SelectionRowPainter.h"
#include "support/TestMain.h"
#include "support/WidgetSnapshot.h"

#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTest>

using namespace SelectionRowPainter;

namespace {

SelectionGroup group(const QString& name, const QString& hex = u"#3366CC"_qs)
{
    return SelectionGroup {QUuid::createUuid(), name, hex, {}};
}

Selection selection(const QString& text, std::optional<QString> url = {}, std::optional<QString> path = {})
{
    return Selection::make(QUuid::createUuid(), text, std::nullopt, u"Firefox"_qs, std::nullopt, url, std::nullopt,
        path, {}, QDateTime(QDate(2025, 3, 14), QTime(10, 0), Qt::UTC));
}

QIcon solidIcon(const QColor& color)
{
    QPixmap pixmap(52, 52);
    pixmap.fill(color);
    return QIcon(pixmap);
}

Style testStyle()
{
    QFont font(u"DejaVu Sans"_qs);
    font.setPixelSize(13);
    return style(font, QPalette(Qt::black, Qt::white));
}

QImage paintRow(const Content& c, int width = 420, bool selected = false)
{
    Style s = testStyle();
    s.selected = selected;
    QImage image(width, rowHeight(s) + 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    paint(painter, QRect(0, 10, width, rowHeight(s)), c, s);
    return image;
}

bool rowIsBlank(const QImage& image, int y)
{
    for (int x = 0; x < image.width(); ++x) {
        if (image.pixel(x, y) != qRgb(255, 255, 255))
            return false;
    }
    return true;
}

} // namespace

class TestSelectionRowPainter : public QObject
{
    Q_OBJECT

private slots:
    void headlineCut_data();
    void headlineCut();
    void headlineOfHugeText();
    void sourceTextKeepsBothEnds();
    void content_data();
    void content();
    void accessibleTexts();
    void paintsInsideItsRect();
    void chipDotKeepsItsRimOnTheHighlight();
    void copiedMarkShowsAndFades();
    void everyRowHasOneHeight();
    void dateIsDrawnWhole_data();
    void dateIsDrawnWhole();
    void dateShortensOnlyWhenNothingElseCanYield();
    void relativeDateOfTheEnvironment_data();
    void relativeDateOfTheEnvironment();
};

void TestSelectionRowPainter::headlineCut_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("max");
    QTest::addColumn<QString>("headline");
    QTest::newRow("plain") << u"Hello world"_qs << 400 << u"Hello world"_qs;
    QTest::newRow("first line of trimmed") << u"  \n\t First line  \nsecond"_qs << 400 << u"First line  "_qs;
    QTest::newRow("blank") << u" \n\t \r\n "_qs << 400 << QString();
    QTest::newRow("empty") << QString() << 400 << QString();
    QTest::newRow("cut at the limit") << u"abcdefghij"_qs << 4 << u"abcd"_qs;
    QTest::newRow("line feed just past the limit") << u"abcd\nefg"_qs << 4 << u"abcd"_qs;
    QTest::newRow("CR LF stays in the headline") << u"ab\r\ncd\nef"_qs << 400 << u"ab\r\ncd"_qs;
    QTest::newRow("no half surrogate pair") << u"abc\U0001F600x"_qs << 4 << u"abc"_qs;
    QTest::newRow("trailing blanks of the text") << u"ab \t\n"_qs << 400 << u"ab"_qs;
}

void TestSelectionRowPainter::headlineCut()
{
    QFETCH(QString, text);
    QFETCH(int, max);
    QFETCH(QString, headline);
    QCOMPARE(SelectionRowPainter::headline(text, max), headline);
    // Within the limit the cut agrees with the selection's own headline.
    if (text.trimmed().size() <= max) {
        Selection s = selection(text);
        QCOMPARE(SelectionRowPainter::headline(text, max), s.headline());
    }
}

void TestSelectionRowPainter::headlineOfHugeText()
{
    const QString huge = u"   "_qs + QString(8 * 1024 * 1024, u'x');
    const QString h = SelectionRowPainter::headline(huge);
    QCOMPARE(h.size(), 400);
    QCOMPARE(h, QString(400, u'x'));
}

void TestSelectionRowPainter::sourceTextKeepsBothEnds()
{
    const QString path = u"/home/"_qs + QString(5000, u'a') + u"/report.pdf"_qs;
    const QString bounded = boundedSourceText(path, 100);
    QCOMPARE(bounded.size(), 201);
    QVERIFY(bounded.startsWith(u"/home/aaa"_qs));
    QVERIFY(bounded.endsWith(u"/report.pdf"_qs));
    QCOMPARE(boundedSourceText(u"short"_qs, 100), u"short"_qs);
}

void TestSelectionRowPainter::content_data()
{
    QTest::addColumn<Selection>("sel");
    QTest::addColumn<int>("groupCount");
    QTest::addColumn<int>("symbol");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("chips");
    QTest::addColumn<int>("more");
    QTest::addColumn<QString>("headline");
    const QString url = u"https://example.com/a"_qs;
    const QString path = u"/home/u/notes.txt"_qs;
    QTest::newRow("address and path: web wins")
        << selection(u"Body"_qs, url, path) << 0 << int(SourceSymbol::web) << url << QStringList() << 0 << u"Body"_qs;
    QTest::newRow("path only") << selection(u"Body"_qs, std::nullopt, path) << 1 << int(SourceSymbol::document)
                               << path << QStringList {u"G0"_qs} << 0 << u"Body"_qs;
    QTest::newRow("neither, empty headline") << selection(u"  \n "_qs) << 2 << int(SourceSymbol::application)
                                             << u"Firefox"_qs << QStringList {u"G0"_qs, u"G1"_qs} << 0
                                             << u"\u2014"_qs;
    QTest::newRow("three groups") << selection(u"x"_qs) << 3 << int(SourceSymbol::application) << u"Firefox"_qs
                                  << QStringList {u"G0"_qs, u"G1"_qs} << 1 << u"x"_qs;
    QTest::newRow("five groups") << selection(u"x"_qs) << 5 << int(SourceSymbol::application) << u"Firefox"_qs
                                 << QStringList {u"G0"_qs, u"G1"_qs} << 3 << u"x"_qs;
}

void TestSelectionRowPainter::content()
{
    QFETCH(Selection, sel);
    QFETCH(int, groupCount);
    QFETCH(int, symbol);
    QFETCH(QString, source);
    QFETCH(QStringList, chips);
    QFETCH(int, more);
    QFETCH(QString, headline);
    QList<SelectionGroup> groups;
    for (int i = 0; i < groupCount; ++i)
        groups.append(group(u"G"_qs + QString::number(i), i == 1 ? u"not a colour"_qs : u"#FF0000"_qs));
    const Content c = SelectionRowPainter::content(sel, groups, QIcon(), u"2 hours ago"_qs);
    QCOMPARE(int(c.symbol), symbol);
    QCOMPARE(c.sourceText, source);
    QStringList names;
    for (const Chip& chip : c.chips)
        names.append(chip.name);
    QCOMPARE(names, chips);
    if (c.chips.size() > 1)
        QCOMPARE(c.chips[1].color, fallbackGroupColor());
    QCOMPARE(c.moreGroups, more);
    QCOMPARE(c.headline, headline);
}

void TestSelectionRowPainter::accessibleTexts()
{
    QCOMPARE(accessibleName(selection(u"\n\n"_qs)), u"Untitled capture"_qs);
    QCOMPARE(accessibleName(selection(u" Title\nrest"_qs)), u"Title"_qs);
    // A CR LF does not end the headline; read aloud it is a space, not a raw line break.
    QCOMPARE(accessibleName(selection(u"Windows line one\r\nWindows line two"_qs)), u"Windows line one Windows line two"_qs);
    const Content c = SelectionRowPainter::content(
        selection(u"x"_qs, u"https://a.example/"_qs), {}, QIcon(), u"yesterday"_qs);
    QCOMPARE(accessibleValue(c), u"From https://a.example/, yesterday"_qs);
}

void TestSelectionRowPainter::paintsInsideItsRect()
{
    QList<SelectionGroup> groups {group(u"Research with a rather long name"_qs), group(u"Later"_qs, u"#22AA44"_qs),
        group(u"Third"_qs)};
    Selection s = selection(QString(3000, u'w').replace(u"wwwww"_qs, u"word "_qs),
        u"https://example.com/"_qs + QString(800, u'p') + u"/end.html"_qs);
    Content c = SelectionRowPainter::content(s, groups, solidIcon(Qt::red), u"3 minutes ago"_qs, 1.0);
    for (bool selected : {false, true}) {
        const QImage image = paintRow(c, 420, selected);
        WidgetSnapshot::saveForReview(image, selected ? u"row-selected.png"_qs : u"row.png"_qs);
        for (int y : {0, 9, image.height() - 10, image.height() - 1})
            QVERIFY2(rowIsBlank(image, y), qPrintable(QString::number(y)));
        QVERIFY(!rowIsBlank(image, 20));
        // The icon: red pixels at its centre, clipped to rounded corners.
        QCOMPARE(image.pixel(10 + 13, 10 + 5 + 13), qRgb(255, 0, 0));
        QVERIFY(image.pixel(10, 15) != qRgb(255, 0, 0));
    }
    // A narrow row still stays inside its rect.
    const QImage narrow = paintRow(c, 90);
    QVERIFY(rowIsBlank(narrow, 0));
    QVERIFY(rowIsBlank(narrow, narrow.height() - 1));
}

void TestSelectionRowPainter::chipDotKeepsItsRimOnTheHighlight()
{
    // A group of the highlight's own colour: on a selected row only a rim shows its dot (the
    // chip's name is left empty so that the dot is all that differs).
    const QString highlight = testStyle().palette.color(QPalette::Active, QPalette::Highlight).name().toUpper();
    const Selection s = selection(u"text"_qs);
    const Content withDot = SelectionRowPainter::content(s, {group(QString(), highlight)}, solidIcon(Qt::red),
        u"3 minutes ago"_qs, 1.0);
    const Content without = SelectionRowPainter::content(s, {}, solidIcon(Qt::red), u"3 minutes ago"_qs, 1.0);
    QVERIFY(paintRow(withDot, 420, true) != paintRow(without, 420, true));
}

void TestSelectionRowPainter::copiedMarkShowsAndFades()
{
    Content c = SelectionRowPainter::content(selection(u"Copied row"_qs), {}, QIcon(), u"now"_qs);
    const QImage off = paintRow(c);
    c.copiedOpacity = 0.5;
    const QImage half = paintRow(c);
    c.copiedOpacity = 1;
    const QImage on = paintRow(c);
    QVERIFY(off != half);
    QVERIFY(half != on);
    // The mark sits below the date at the trailing edge; the date itself stays.
    const Style s = testStyle();
    const int dateBottom = 10 + 5 + QFontMetrics(s.caption).height();
    QImage onRight = on.copy(320, dateBottom, 100, 20);
    QImage offRight = off.copy(320, dateBottom, 100, 20);
    QVERIFY(onRight != offRight);
    QCOMPARE(on.copy(320, 10, 100, dateBottom - 10), off.copy(320, 10, 100, dateBottom - 10));
}

void TestSelectionRowPainter::everyRowHasOneHeight()
{
    const Style s = testStyle();
    const int h = rowHeight(s);
    const QFontMetrics body(s.body);
    QVERIFY(h >= 5 + 2 * body.lineSpacing() + 4 + QFontMetrics(s.caption).height() + 5);
    Style bigger = s;
    bigger.body.setPixelSize(20);
    QVERIFY(rowHeight(bigger) > h);
}

void TestSelectionRowPainter::dateIsDrawnWhole_data()
{
    QTest::addColumn<QFont>("font");
    QTest::addColumn<QString>("date");
    QTest::addColumn<bool>("copied");
    // Fonts sized in points have fractional advances, which a width rounded to whole pixels
    // can fall short of; the application's default is 9 points.
    QList<std::pair<QString, QFont>> fonts;
    for (qreal points : {8.0, 9.0, 10.0, 11.0, 12.0}) {
        QFont font(u"DejaVu Sans"_qs);
        font.setPointSizeF(points);
        fonts.append({QString::number(points) + u" pt"_qs, font});
    }
    fonts.append({u"13 px"_qs, testStyle().body});
    const QStringList dates {u"1 second ago"_qs, u"3 hours ago"_qs, u"2 days ago"_qs, u"12 minutes ago"_qs,
        u"59 seconds ago"_qs, u"11 months ago"_qs, u"in 30 seconds"_qs, u"yesterday"_qs};
    for (const auto& [fontName, font] : fonts) {
        for (const QString& date : dates) {
            for (bool copied : {false, true}) {
                QTest::addRow("%s, %s%s", qPrintable(fontName), qPrintable(date), copied ? ", copied" : "")
                    << font << date << copied;
            }
        }
    }
}

void TestSelectionRowPainter::dateIsDrawnWhole()
{
    QFETCH(QFont, font);
    QFETCH(QString, date);
    QFETCH(bool, copied);
    const Style s = style(font, QPalette(Qt::black, Qt::white));
    Content c = SelectionRowPainter::content(
        selection(u"A headline long enough to need both of its lines and then some more words"_qs), {}, QIcon(), date,
        copied ? 1.0 : 0.0);
    // The narrowest list: the library column at its least width, less a vertical scroll bar.
    QScrollBar bar(Qt::Vertical);
    const int narrowestRow = 300 - bar.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &bar);
    for (int width : {narrowestRow, 420, 900}) {
        const DateColumn column = dateColumn(c, s, width);
        QCOMPARE(column.text, date);
        QVERIFY2(column.width >= QFontMetricsF(s.caption).horizontalAdvance(date), qPrintable(QString::number(width)));
        // What the column is handed is drawn as it is, without shortening.
        QCOMPARE(QFontMetrics(s.caption).elidedText(column.text, Qt::ElideRight, column.width), date);
    }
}

void TestSelectionRowPainter::dateShortensOnlyWhenNothingElseCanYield()
{
    const Style s = testStyle();
    const Content c = SelectionRowPainter::content(selection(u"Headline"_qs), {}, QIcon(), u"12 minutes ago"_qs);
    const int whole = qCeil(QFontMetricsF(s.caption).horizontalAdvance(c.relativeDate));
    // Padding 10 on either side, the icon 26 and its spacing 9: 55 beside the date.
    const DateColumn justFits = dateColumn(c, s, 55 + whole);
    QCOMPARE(justFits.text, c.relativeDate);
    const DateColumn tooNarrow = dateColumn(c, s, 55 + whole - 10);
    QCOMPARE(tooNarrow.width, whole - 10);
    QVERIFY(tooNarrow.text.endsWith(u'\u2026'));
    QVERIFY(QFontMetrics(s.caption).horizontalAdvance(tooNarrow.text) <= tooNarrow.width);
    QCOMPARE(dateColumn(c, s, 20).width, 0);
}

void TestSelectionRowPainter::relativeDateOfTheEnvironment_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates);
    // What the program gets on a system with no language set.
    QTest::newRow("C") << QLocale::c();
}

void TestSelectionRowPainter::relativeDateOfTheEnvironment()
{
    QFETCH(QLocale, locale);
    const QDateTime captured(QDate(2025, 3, 13), QTime(23, 30), Qt::UTC);
    LibraryEnvironment env;
    env.locale = locale;
    env.timeZone = QTimeZone::utc();
    QDateTime now(QDate(2025, 3, 14), QTime(23, 40), Qt::UTC);
    env.now = [&now] { return now; };
    // Without a reference: from now, with names where English has them.
    QCOMPARE(env.relativeDate(captured), u"yesterday"_qs);
    now = captured.addSecs(1);
    QCOMPARE(env.relativeDate(captured), u"1 second ago"_qs);
    now = captured.addSecs(3600);
    QCOMPARE(env.relativeDate(captured), u"1 hour ago"_qs);
    // With one (the export's): always a count, from the reference.
    env.relativeDateReference = QDateTime(QDate(2025, 3, 14), QTime(1, 30), Qt::UTC);
    QCOMPARE(env.relativeDate(captured), u"2 hours ago"_qs);
    env.relativeDateReference = captured.addSecs(1);
    QCOMPARE(env.relativeDate(captured), u"1 second ago"_qs);
    // A later reference in another month.
    env.relativeDateReference = QDateTime(QDate(2025, 4, 20), QTime(0, 0), Qt::UTC);
    QCOMPARE(env.relativeDate(captured), u"1 month ago"_qs);
}

TESSELLON_GUI_TEST_MAIN(TestSelectionRowPainter)
#include "tst_SelectionRowPainter.moc"
