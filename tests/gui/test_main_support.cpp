#include "test_main_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <cstdint>
#include <cstdio>
#include <vector>

void MainWindowTest::SetUp()
{
    ASSERT_TRUE(Tmp.isValid());
    SavedMessageBox = MessageBoxHook();
    SavedFileDialog = FileDialogHook();
    MessageBoxHook() = [this](QWidget*, const QString& caption, const QString& text, cMsgButtons) {
        Messages.push_back({caption, text});
        if (MessageAnswers.empty()) return cMsgResult::Ok;
        const cMsgResult r = MessageAnswers.front();
        MessageAnswers.pop_front();
        return r;
    };
    FileDialogHook() = [this](cFileDialog& d, QWidget*) {
        ++DialogsShown;
        if (DialogAnswers.empty()) return false;
        const QString path = DialogAnswers.front();
        DialogAnswers.pop_front();
        if (path.isEmpty()) return false;
        d.FileName = path;
        return true;
    };
    CreateWindows();
    fmMain->show();
    // The start-up check of R ends on its own; the tests begin from its outcome.
    ASSERT_TRUE(QTest::qWaitFor([] { return !fmMain->SearchingR(); }, 30000));
}

void MainWindowTest::TearDown()
{
    DestroyWindows();
    MessageBoxHook() = SavedMessageBox;
    FileDialogHook() = SavedFileDialog;
}

void MainWindowTest::Click(const char* name)
{
    auto* b = Ctl<QAbstractButton>(name);
    if (b != nullptr) QTest::mouseClick(b, Qt::LeftButton);
    WaitIdle();
}

void MainWindowTest::WaitIdle()
{
    // A job the click started runs on; the test goes on when it has ended.
    // (qWaitFor sleeps between its looks, leaving the cores to the job.)
    EXPECT_TRUE(QTest::qWaitFor([] { return !fmMain->Computing(); }, 120000)) << "a job did not end";
    QCoreApplication::processEvents();
}

QString MainWindowTest::Text(const char* name)
{
    QWidget* w = Ctl(name);
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* m = qobject_cast<QPlainTextEdit*>(w)) return m->toPlainText();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    ADD_FAILURE() << name << " has no text";
    return {};
}

QStringList MainWindowTest::LogLines() const
{
    const QString text = fmMain->mLog->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

QStringList MainWindowTest::LogMessages() const
{
    static const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d(?=: )"));
    QStringList out;
    for (QString line : LogLines())
        out << line.remove(stamp);
    return out;
}

void MainWindowTest::Load(const QString& path)
{
    fmMain->dlgOpen.FileName = path;
    fmMain->dlgOpen.Preset = 1;
    Click("btOpen");
}

QString MainWindowTest::WriteTable(const char* name, const std::string& text)
{
    const QString path = Tmp.filePath(QLatin1String(name));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.data(), static_cast<qint64>(text.size()));
    return path;
}

std::string ReadFileBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    const QByteArray b = f.readAll();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

QString TestDataPath(const char* name)
{
    return QStringLiteral(KORVALENT_SOURCE_ROOT "/") + QLatin1String(name);
}

// Genes that follow one shared profile with their own weight and noise, so
// nearly every pair has a correlation of at least 0.01 (a non-zero upper cell).
std::string FactorTable(int genes, int arrays)
{
    std::uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 16777216.0; // [0, 1)
    };
    std::vector<double> base(static_cast<std::size_t>(arrays));
    for (double& b : base)
        b = next() * 4 - 2;
    std::string t = "ID\tName";
    for (int a = 0; a < arrays; ++a)
        t += "\ta" + std::to_string(a);
    t += '\n';
    char buf[32];
    for (int g = 0; g < genes; ++g) {
        const double w = (g % 2 ? 1 : -1) * (0.3 + next());
        t += "g" + std::to_string(g) + "\tgene " + std::to_string(g);
        for (int a = 0; a < arrays; ++a) {
            std::snprintf(buf, sizeof buf, "\t%.3f", w * base[static_cast<std::size_t>(a)] + next() - 0.5);
            t += buf;
        }
        t += '\n';
    }
    return t;
}
