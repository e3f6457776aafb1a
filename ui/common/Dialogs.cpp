#include "ui/common/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace cvb {

namespace {

// Real message boxes and file choosers, parented to the window the user is working in.
class QtDialogs final : public Dialogs
{
public:
    void information(const QString &text) override
    {
        QMessageBox::information(QApplication::activeWindow(), QApplication::applicationDisplayName(), text);
    }

    void error(const QString &text) override
    {
        QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(), text);
    }

    Answer ask(QuestionKind kind, const QString &text, Buttons buttons) override
    {
        const QMessageBox::StandardButton last =
            buttons == Buttons::YesNo ? QMessageBox::No : QMessageBox::Cancel;
        const QMessageBox::Icon icon =
            kind == QuestionKind::Warning ? QMessageBox::Warning : QMessageBox::Question;
        QMessageBox box(icon, QApplication::applicationDisplayName(), text, QMessageBox::Yes | last,
                        QApplication::activeWindow());
        box.setEscapeButton(last);
        switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return Answer::Cancel;
        }
    }

    QString chooseFile(const FileChoice &choice) override
    {
        const QString filter = qtFileFilter(choice.filter);
        if (choice.save)
            return QFileDialog::getSaveFileName(QApplication::activeWindow(), choice.title, choice.folder,
                                                filter);
        return QFileDialog::getOpenFileName(QApplication::activeWindow(), choice.title, choice.folder,
                                            filter);
    }
};

Dialogs *installed = nullptr;

} // namespace

Dialogs &dialogs()
{
    static QtDialogs qtDialogs;
    return installed ? *installed : qtDialogs;
}

Dialogs *installDialogs(Dialogs *replacement)
{
    Dialogs *previous = installed;
    installed = replacement;
    return previous;
}

QString qtFileFilter(const QString &pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // Qt reads the patterns from a parenthesised group at the end of the description: put the
        // pair's own patterns there, in place of any group the description ends with.
        QString description = parts.at(i).trimmed();
        if (description.endsWith(QLatin1Char(')')) && description.contains(QLatin1Char('(')))
            description = description.left(description.lastIndexOf(QLatin1Char('('))).trimmed();
        QString patterns = parts.at(i + 1).trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

} // namespace cvb
