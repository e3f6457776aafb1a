#include "ui/common/ScriptedDialogs.h"

namespace cvb {

ScriptedDialogs::ScriptedDialogs() : previous_(installDialogs(this))
{
}

ScriptedDialogs::~ScriptedDialogs()
{
    installDialogs(previous_);
}

QStringList ScriptedDialogs::texts() const
{
    QStringList result;
    for (const Shown &s : shown_)
        result << s.text;
    return result;
}

void ScriptedDialogs::clear()
{
    shown_.clear();
    answers_.clear();
    paths_.clear();
    unanswered_ = 0;
}

void ScriptedDialogs::information(const QString &text)
{
    shown_.append({Kind::Information, text, {}, {}});
}

void ScriptedDialogs::error(const QString &text)
{
    shown_.append({Kind::Error, text, {}, {}});
}

Answer ScriptedDialogs::ask(QuestionKind kind, const QString &text, Buttons buttons)
{
    shown_.append({kind == QuestionKind::Warning ? Kind::Warning : Kind::Confirmation, text, buttons, {}});
    if (answers_.isEmpty()) {
        ++unanswered_;
        return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    }
    return answers_.takeFirst();
}

QString ScriptedDialogs::chooseFile(const FileChoice &choice)
{
    shown_.append({Kind::FileChooser, choice.title, {}, choice});
    return paths_.isEmpty() ? QString() : paths_.takeFirst();
}

} // namespace cvb
