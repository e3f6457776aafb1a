// What the pages of the profile wizard share: the operation the wizard is opened for, the draft
// the pages write into (the record under the main window's shared profiles cursor) and what a
// page that checks or stores something offers the wizard. The wizard walks the pages: a page it
// leaves forwards first names what keeps it there, then writes what it holds into the draft;
// only the wizard commits the draft.
#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <functional>

namespace cvb {

class Table;

// What the profile wizard is opened for; each has its first page and its buttons.
enum class ProfileOperation { Create, Edit, Delete, Activate, InstantBackup };

// The record under the shared profiles cursor as the wizard edits it. The wizard owns it once it
// has inserted or edited it: then it is the wizard's to post or discard.
class ProfileDraft
{
public:
    explicit ProfileDraft(Table &profiles) : profiles_(profiles) {}

    Table &record() const { return profiles_; }
    bool owned() const { return owned_; }
    // A profile that is not stored yet (inserted by this wizard).
    bool isNew() const { return new_; }

    // Inserts a new record with the values a new profile starts with.
    void startNew();
    // Edit mode on the cursor's current record; false, and nothing done, when there is none.
    bool editCurrent();
    // A change the user made through a bound control. A browsing cursor goes into edit mode on
    // its record first (the draft is then owned); an error of the table is shown, not raised.
    void write(const std::function<void(Table &)> &change);
    void writeField(const QString &field, const QVariant &value);
    // The record has been posted: nothing is left to discard.
    void committed() { owned_ = false; }
    // Discards the pending change of an owned record (an inserted one goes, an edited one returns
    // to its stored values).
    void release();

private:
    Table &profiles_;
    bool owned_ = false;
    bool new_ = false;
};

// A page that checks what the user entered and stores it into the draft.
class ProfilePage : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The message that keeps the wizard on this page, or empty.
    virtual QString problem() const = 0;
    // What the page does once `problem` has been shown (the page stays).
    virtual void refused(const QString &problem) { Q_UNUSED(problem) }
    // Writes what the page holds and no control writes by itself into the draft; the table's
    // errors are raised.
    virtual void store() {}
    // Shows the draft's values in the page's bound controls.
    virtual void show() = 0;
};

} // namespace cvb
