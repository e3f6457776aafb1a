#include "ui/common/Dialogs.h"
#include "ui/common/ScriptedDialogs.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace cvb;

TEST(QtFileFilter, TurnsDescriptionPatternPairsIntoQtFilters)
{
    EXPECT_EQ(qtFileFilter(QStringLiteral("All Files (*.*)|*.*|Archives (*.zip, *.arj)|*.zip;*.arj")),
              QStringLiteral("All Files (*.*);;Archives (*.zip *.arj)"));
    EXPECT_EQ(qtFileFilter(QStringLiteral("Text files|*.txt")), QStringLiteral("Text files (*.txt)"));
    // A description without patterns after it is dropped rather than becoming a filter of nothing.
    EXPECT_EQ(qtFileFilter(QStringLiteral("Text files|*.txt|Dangling")),
              QStringLiteral("Text files (*.txt)"));
    EXPECT_EQ(qtFileFilter(QString()), QString());
}

TEST(ScriptedDialogs, RecordsEveryBoxInOrderAndAnswersFromTheScript)
{
    ScriptedDialogs scripted;
    scripted.prepareAnswers({Answer::Yes, Answer::No});
    scripted.preparePaths({QStringLiteral("/tmp/a.zip")});

    // Code under test reaches the scripted dialogs through the program-wide accessor.
    dialogs().information(QStringLiteral("first"));
    EXPECT_EQ(dialogs().warning(QStringLiteral("second"), Buttons::YesCancel), Answer::Yes);
    EXPECT_EQ(dialogs().confirmation(QStringLiteral("third"), Buttons::YesNo), Answer::No);
    dialogs().error(QStringLiteral("fourth"));
    EXPECT_EQ(
        dialogs().chooseFile({QStringLiteral("Select File to Send"), QStringLiteral("All|*.*"), {}, false}),
        QStringLiteral("/tmp/a.zip"));
    EXPECT_EQ(dialogs().chooseFile({QStringLiteral("again"), {}, {}, true}), QString());

    EXPECT_EQ(scripted.texts(),
              (QStringList{"first", "second", "third", "fourth", "Select File to Send", "again"}));
    ASSERT_EQ(scripted.shown().size(), 6);
    EXPECT_EQ(scripted.shown().at(0).kind, ScriptedDialogs::Kind::Information);
    EXPECT_EQ(scripted.shown().at(1).kind, ScriptedDialogs::Kind::Warning);
    EXPECT_EQ(scripted.shown().at(1).buttons, Buttons::YesCancel);
    EXPECT_EQ(scripted.shown().at(2).kind, ScriptedDialogs::Kind::Confirmation);
    EXPECT_EQ(scripted.shown().at(3).kind, ScriptedDialogs::Kind::Error);
    EXPECT_EQ(scripted.shown().at(4).kind, ScriptedDialogs::Kind::FileChooser);
    EXPECT_EQ(scripted.shown().at(5).choice.save, true);
    EXPECT_EQ(scripted.unansweredQuestions(), 0);
}

TEST(ScriptedDialogs, AQuestionWithoutPreparedAnswerGetsItsLastButton)
{
    ScriptedDialogs scripted;
    EXPECT_EQ(dialogs().warning(QStringLiteral("q1"), Buttons::YesNo), Answer::No);
    EXPECT_EQ(dialogs().warning(QStringLiteral("q2"), Buttons::YesCancel), Answer::Cancel);
    EXPECT_EQ(scripted.unansweredQuestions(), 2);
}

TEST(ScriptedDialogs, InstallsItselfForItsLifetimeAndPutsBackThePreviousOne)
{
    ScriptedDialogs outer;
    {
        ScriptedDialogs inner;
        EXPECT_EQ(&dialogs(), &inner);
        dialogs().information(QStringLiteral("to inner"));
        EXPECT_EQ(inner.texts(), QStringList{"to inner"});
    }
    EXPECT_EQ(&dialogs(), &outer);
    EXPECT_TRUE(outer.texts().isEmpty());
}
