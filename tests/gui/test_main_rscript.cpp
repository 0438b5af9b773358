// The "Preprocessing routine" button restores the example script, asking first
// when the user's own script would be lost.
#include "test_main_support.h"

#include "rjobs/RJob.h"

TEST_F(MainWindowTest, PreprocessingRoutineRestoresTheExampleScript)
{
    auto* memo = Ctl<QPlainTextEdit>("mRNorm");
    ASSERT_NE(memo, nullptr);
    const QString example = memo->toPlainText();
    ASSERT_EQ(example, DefaultRNormText());

    // Unchanged script: nothing to ask.
    Click("BitBtn1");
    EXPECT_TRUE(Messages.empty());

    // An edited script survives a Cancel and is replaced after OK.
    memo->setPlainText(QStringLiteral("x <- 1\n"));
    MessageAnswers.push_back(cMsgResult::Cancel);
    Click("BitBtn1");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("x <- 1\n"));
    MessageAnswers.push_back(cMsgResult::Ok);
    Click("BitBtn1");
    EXPECT_EQ(Messages.size(), 2u);
    EXPECT_EQ(memo->toPlainText(), example);
}
