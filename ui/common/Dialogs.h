// Message boxes, questions and file choosers of every window go through one seam, so that the
// program shows real boxes while tests script the answers and check every text shown.
//
// The interface itself needs no linking: code below the window layer (the scheduler's start-up
// questions, for example) may take a `Dialogs &` and be handed `cvb::dialogs()` by its window.
#pragma once

#include <QString>

namespace cvb {

enum class Answer { Yes, No, Cancel };

// The fixed button sets of the program's questions.
enum class Buttons { YesNo, YesCancel };

// How a question looks: a warning box or a plain confirmation box.
enum class QuestionKind { Warning, Confirmation };

struct FileChoice
{
    QString title;
    // Filter pairs "description|patterns|description|patterns...", patterns separated by ";",
    // for example "All Files (*.*)|*.*|Archives (*.zip, *.arj)|*.zip;*.arj". The first is selected.
    QString filter;
    QString folder;    // initial folder; empty means the current folder
    bool save = false; // false: pick an existing file; true: name a file to write
};

class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // A plain information box with an OK button.
    virtual void information(const QString &text) = 0;
    // The general error display: an error that ended the operation in hand.
    virtual void error(const QString &text) = 0;
    // A question with a fixed set of buttons; closing the box counts as the last button (No or Cancel).
    virtual Answer ask(QuestionKind kind, const QString &text, Buttons buttons) = 0;
    // The chosen path, or an empty string when the user cancelled.
    virtual QString chooseFile(const FileChoice &choice) = 0;

    Answer warning(const QString &text, Buttons buttons) { return ask(QuestionKind::Warning, text, buttons); }
    Answer confirmation(const QString &text, Buttons buttons)
    {
        return ask(QuestionKind::Confirmation, text, buttons);
    }
};

// The program-wide dialogs: the installed ones, or Qt's message boxes when none are installed.
Dialogs &dialogs();

// Installs `replacement` as the program-wide dialogs (nullptr goes back to Qt's message boxes) and
// returns what was installed before. The caller keeps ownership.
Dialogs *installDialogs(Dialogs *replacement);

// Turns a filter in the pair form of FileChoice into Qt's "Description (patterns);;..." form.
QString qtFileFilter(const QString &pairs);

} // namespace cvb
