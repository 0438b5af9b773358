// Numbers and times as the window reads and shows them, in the user's locale.
#include "test_main_support.h"

#include "app/WinExprData.h"
#include "engine/ExprData.h"
#include "engine/Format.h"
#include "ui/Convert.h"

#include <QLocale>
#include <QTime>

namespace {

// Switches the default locale for one scope.
struct cLocaleScope {
    explicit cLocaleScope(const QLocale& l) : Saved(QLocale()) { QLocale::setDefault(l); }
    ~cLocaleScope() { QLocale::setDefault(Saved); }
    QLocale Saved;
};

} // namespace

TEST(MainConvert, IntegersAreAnOptionalSignAndDecimalDigits)
{
    struct {
        const char* Text;
        bool Ok;
        int Value;
    } cases[] = {{"1", true, 1},
                 {"02", true, 2},
                 {"-7", true, -7},
                 {"+3", true, 3},
                 {" 12 ", true, 12},
                 {"2147483647", true, 2147483647},
                 {"-2147483648", true, -2147483647 - 1},
                 {"2147483648", false, 0},
                 {"", false, 0},
                 {"-", false, 0},
                 {"1.0", false, 0},
                 {"1e2", false, 0},
                 {"0x10", false, 0},
                 {"12a", false, 0},
                 {"1 2", false, 0},
                 {"٣", false, 0}};
    for (const auto& c : cases) {
        int v = -99;
        EXPECT_EQ(TryTextToInt(QString::fromUtf8(c.Text), v), c.Ok) << c.Text;
        if (c.Ok) EXPECT_EQ(v, c.Value) << c.Text;
    }
    try {
        TextToInt(QStringLiteral("abc"));
        ADD_FAILURE() << "no error";
    } catch (const cActionError& e) {
        EXPECT_EQ(e.Text, "'abc' is not a valid integer value");
        EXPECT_EQ(e.Caption, "Error");
    }
}

TEST(MainConvert, NumbersAreReadWithTheLocaleSeparator)
{
    struct {
        const char* Locale;
        const char* Text;
        bool Ok;
        double Value;
    } cases[] = {
        {"C", "0.9", true, 0.9},
        {"C", ".5", true, 0.5},
        {"C", "5.", true, 5.0},
        {"C", "-1.25e-3", true, -1.25e-3},
        {"C", "1E2", true, 100.0},
        {"C", " 0.90 ", true, 0.9},
        {"C", "0,9", false, 0},
        {"C", "1e", false, 0},
        {"C", "inf", false, 0},
        {"C", "nan", false, 0},
        {"C", "1e400", false, 0},
        {"C", "", false, 0},
        {"C", ".", false, 0},
        {"C", "1.2.3", false, 0},
        {"de_DE", "0,9", true, 0.9},
        {"de_DE", "0.9", false, 0},
        {"de_DE", "-2,5E1", true, -25.0},
        {"de_DE", "1.000", false, 0},
    };
    for (const auto& c : cases) {
        cLocaleScope scope{QLocale(QLatin1String(c.Locale))};
        double v = -99;
        EXPECT_EQ(TryTextToFloat(QLatin1String(c.Text), v), c.Ok) << c.Locale << " " << c.Text;
        if (c.Ok) EXPECT_EQ(v, c.Value) << c.Locale << " " << c.Text;
    }
    try {
        TextToFloat(QStringLiteral("0,9"));
        ADD_FAILURE() << "no error";
    } catch (const cActionError& e) {
        EXPECT_EQ(e.Text, "'0,9' is not a valid floating point value");
    }
}

TEST(MainConvert, DisplayedNumbersUseTheLocaleSeparator)
{
    struct {
        const char* Locale;
        double Value;
        const char* Fixed;   // FormatFixed 5, 5
        const char* General; // FormatGeneral 15
    } cases[] = {{"C", 7.123456, "7.12350", "7.123456"},
                 {"de_DE", 7.123456, "7,12350", "7,123456"},
                 {"de_DE", 123456.7, "1,2346E5", "123456,7"},
                 {"fr_FR", 0.9, "0,90000", "0,9"},
                 {"de_DE", 0.000012345, "0,00001", "1,2345E-5"}};
    for (const auto& c : cases) {
        cLocaleScope scope{QLocale(QLatin1String(c.Locale))};
        EXPECT_EQ(FixedText(c.Value, 5, 5), QLatin1String(c.Fixed)) << c.Locale << " " << c.Value;
        EXPECT_EQ(GeneralText(c.Value, 15), QLatin1String(c.General)) << c.Locale << " " << c.Value;
    }
}

TEST(MainConvert, TimeStampsUseTheLongFormatWithoutTheZone)
{
    const QTime t(14, 5, 9);
    struct {
        const char* Locale;
        const char* Text;
    } cases[] = {
        {"C", "14:05:09"}, {"de_DE", "14:05:09"}, {"en_US", "2:05:09\u202fPM"}, {"en_GB", "14:05:09"}};
    for (const auto& c : cases) {
        cLocaleScope scope{QLocale(QLatin1String(c.Locale))};
        const QString text = LongTimeText(t);
        // Whatever the locale's long format, no zone name or offset is left.
        EXPECT_FALSE(text.contains(QLatin1String("UTC")) || text.contains(QLatin1String("GMT")) ||
                     text.contains(QLatin1String("CET")))
            << c.Locale << " " << text.toStdString();
        if (QLatin1String(c.Locale) != QLatin1String("en_US"))
            EXPECT_EQ(text, QString::fromUtf8(c.Text)) << c.Locale;
        else
            EXPECT_TRUE(text.startsWith(QLatin1String("2:05:09"))) << text.toStdString();
    }
}

TEST_F(MainWindowTest, TheWindowReadsAndShowsCommaNumbersInACommaLocale)
{
    cLocaleScope scope{QLocale(QStringLiteral("de_DE"))};
    const QString path = WriteTable("comma.txt", "ID\tName\ta\tb\tc\td\n"
                                                 "g1\tn\t1.5\t2\t3\t4.25\n"
                                                 "g2\tn\t2\t4\t6\t8.5\n"
                                                 "g3\tn\t4\t3\t2\t1\n");
    Load(path);
    ASSERT_NE(fmMain->ExprData(), nullptr);
    const QString mean = QString::fromStdString(FormatFixed(fmMain->ExprData()->TotalMean, 5, 5, ','));
    EXPECT_TRUE(mean.contains(QLatin1Char(',')));
    EXPECT_EQ(Text("lbMean"), mean);
    fmMain->edCEThreshold->setText("0,90");
    Click("btCalcCE");
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(Text("edCEThreshold"), "0,9");
    ASSERT_NE(fmMain->CEMatrix(), nullptr);
    fmMain->edCEThreshold->setText("0.9");
    Click("btRenewCE");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, "'0.9' is not a valid floating point value");
    Click("btMean4Genes");
    EXPECT_EQ(Text("mCon").split('\n').first(), "#1:\t2,6875");
}
