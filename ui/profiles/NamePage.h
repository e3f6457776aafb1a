// The name page of the profile wizard (TabSheet2): the entry eProfileName, bound to PROFILE. The
// entry upper-cases what is typed and refuses what the field could not keep whole; the page lets
// the wizard on only with a name that no stored profile has.
#pragma once

#include "ui/profiles/ProfilePage.h"

class QLineEdit;

namespace cvb {

class NamePage : public ProfilePage
{
    Q_OBJECT
public:
    // `stored` is a cursor of the page's own on the profiles table, against which names are checked.
    NamePage(QLineEdit *entry, ProfileDraft &draft, Table &stored, QObject *parent = nullptr);

    // An empty name or one a stored profile has.
    QString problem() const override;
    // A name that is taken is emptied, in the entry and the draft, for the user to type another.
    void refused(const QString &problem) override;
    void show() override;

private:
    QLineEdit *entry_;
    ProfileDraft &draft_;
    Table &stored_;
};

} // namespace cvb
