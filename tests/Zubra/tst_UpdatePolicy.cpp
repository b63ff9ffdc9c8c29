// Which offered update may proceed: a higher build whose archive is exactly where the vendor
// publishes that build; every other one gets the same refusal.

#include "Zubra/Shell/UpdatePolicy.h"
#include "support/TestMain.h"

namespace {
const QString location = QStringLiteral("https://downloads.example.com/releases/");
}

class TestUpdatePolicy : public QObject
{
    Q_OBJECT

private slots:
    void decision_data()
    {
        QTest::addColumn<std::optional<QString>>("running");
        QTest::addColumn<QString>("offered");
        QTest::addColumn<std::optional<QString>>("archive");
        QTest::addColumn<bool>("proceeds");
        const auto at = [](const QString& name) { return std::optional<QString>(location + name); };
        const std::optional<QString> seven = QStringLiteral("7");
        QTest::newRow("newer, published") << seven << "8" << at("Tessellon-8.dmg") << true;
        QTest::newRow("same build") << seven << "7" << at("Tessellon-7.dmg") << false;
        QTest::newRow("older build") << seven << "6" << at("Tessellon-6.dmg") << false;
        QTest::newRow("dotted build") << seven << "1.0.8" << at("Tessellon-1.0.8.dmg") << false;
        QTest::newRow("leading blank") << seven << " 8" << at("Tessellon-8.dmg") << false;
        QTest::newRow("trailing blank") << seven << "8 " << at("Tessellon-8.dmg") << false;
        QTest::newRow("plus sign, canonical name") << seven << "+8" << at("Tessellon-8.dmg") << true;
        QTest::newRow("plus sign, name as written") << seven << "+8" << at("Tessellon-+8.dmg") << false;
        QTest::newRow("leading zeros, canonical name") << seven << "008" << at("Tessellon-8.dmg") << true;
        QTest::newRow("leading zeros, name as written") << seven << "008" << at("Tessellon-008.dmg") << false;
        QTest::newRow("empty offer") << seven << "" << at("Tessellon-.dmg") << false;
        QTest::newRow("no running build") << std::optional<QString>() << "8" << at("Tessellon-8.dmg") << false;
        QTest::newRow("running build not a number") << std::optional<QString>(QStringLiteral("7a")) << "8"
                                                    << at("Tessellon-8.dmg") << false;
        QTest::newRow("running build empty") << std::optional<QString>(QString()) << "8" << at("Tessellon-8.dmg")
                                             << false;
        QTest::newRow("negative running build") << std::optional<QString>(QStringLiteral("-3")) << "0"
                                                << at("Tessellon-0.dmg") << true;
        QTest::newRow("no archive") << seven << "8" << std::optional<QString>() << false;
        QTest::newRow("letter case differs") << seven << "8" << at("tessellon-8.dmg") << false;
        QTest::newRow("host case differs") << seven << "8"
                                           << std::optional<QString>(
                                                  QStringLiteral("https://Downloads.example.com/releases/Tessellon-8.dmg"))
                                           << false;
        QTest::newRow("query") << seven << "8" << at("Tessellon-8.dmg?x=1") << false;
        QTest::newRow("fragment") << seven << "8" << at("Tessellon-8.dmg#a") << false;
        QTest::newRow("other host") << seven << "8"
                                    << std::optional<QString>(QStringLiteral("https://evil.example/releases/Tessellon-8.dmg"))
                                    << false;
        QTest::newRow("beyond 64 bits") << seven << "9223372036854775808" << at("Tessellon-9223372036854775808.dmg")
                                        << false;
        QTest::newRow("largest build") << seven << "9223372036854775807" << at("Tessellon-9223372036854775807.dmg")
                                       << true;
        QTest::newRow("running at the largest") << std::optional<QString>(QStringLiteral("9223372036854775807"))
                                                << "9223372036854775807" << at("Tessellon-9223372036854775807.dmg")
                                                << false;
        QTest::newRow("full-width digits") << seven << QStringLiteral("\uff18") << at("Tessellon-8.dmg") << false;
    }
    void decision()
    {
        QFETCH(std::optional<QString>, running);
        QFETCH(QString, offered);
        QFETCH(std::optional<QString>, archive);
        QFETCH(bool, proceeds);
        const auto error = UpdatePolicy::shouldProceed(running, {offered, archive}, location);
        QCOMPARE(!error.has_value(), proceeds);
        if (error) {
            QCOMPARE(error->domain, QStringLiteral("Tessellon.Update"));
            QCOMPARE(error->code, 1);
            QCOMPARE(error->description, QStringLiteral("This update could not be verified. Please try again later."));
        }
    }

    void buildNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<qint64>>("value");
        QTest::newRow("digits") << "42" << std::optional<qint64>(42);
        QTest::newRow("minus") << "-42" << std::optional<qint64>(-42);
        QTest::newRow("smallest") << "-9223372036854775808" << std::optional<qint64>(std::numeric_limits<qint64>::min());
        QTest::newRow("below smallest") << "-9223372036854775809" << std::optional<qint64>();
        QTest::newRow("sign alone") << "+" << std::optional<qint64>();
        QTest::newRow("two signs") << "+-1" << std::optional<qint64>();
        QTest::newRow("hex") << "0x10" << std::optional<qint64>();
        QTest::newRow("exponent") << "1e3" << std::optional<qint64>();
        QTest::newRow("inner blank") << "1 0" << std::optional<qint64>();
        QTest::newRow("Arabic-Indic digit") << QStringLiteral("\u0663") << std::optional<qint64>();
    }
    void buildNumbers()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<qint64>, value);
        QCOMPARE(UpdatePolicy::readBuildNumber(text), value);
    }
};

TESSELLON_TEST_MAIN(TestUpdatePolicy)
#include "tst_UpdatePolicy.moc"
