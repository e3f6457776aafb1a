// Dialogs for tests: records every box shown, in order, and answers questions and file choosers
// from prepared answers. Constructing one installs it as the program-wide dialogs; destroying it
// puts back what was installed before.
#pragma once

#include "ui/common/Dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace cvb {

class ScriptedDialogs final : public Dialogs
{
public:
    enum class Kind { Information, Error, Warning, Confirmation, FileChooser };

    struct Shown
    {
        Kind kind;
        QString text;      // message text, or the file chooser's title
        Buttons buttons{}; // questions only
        FileChoice choice; // file choosers only
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs &) = delete;
    ScriptedDialogs &operator=(const ScriptedDialogs &) = delete;

    // Answers for the next questions, used in order. A question without a prepared answer gets
    // its last button (No or Cancel), as if the user had closed the box.
    void prepareAnswers(const QList<Answer> &answers) { answers_ += answers; }
    // Paths for the next file choosers, used in order; without one the chooser is cancelled.
    void preparePaths(const QStringList &paths) { paths_ += paths; }

    const QList<Shown> &shown() const { return shown_; }
    // The texts of every box shown (titles for file choosers), in order.
    QStringList texts() const;
    int unansweredQuestions() const { return unanswered_; }
    void clear();

    void information(const QString &text) override;
    void error(const QString &text) override;
    Answer ask(QuestionKind kind, const QString &text, Buttons buttons) override;
    QString chooseFile(const FileChoice &choice) override;

private:
    Dialogs *previous_;
    QList<Shown> shown_;
    QList<Answer> answers_;
    QStringList paths_;
    int unanswered_ = 0;
};

} // namespace cvb
