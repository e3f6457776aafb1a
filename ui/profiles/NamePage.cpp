#include "ui/profiles/NamePage.h"

#include "data/Table.h"
#include "ui/profiles/ProfileRules.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include <QValidator>

namespace cvb {

namespace {

const QString Profile = QStringLiteral("PROFILE");

class ProfileNameValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override
    {
        return acceptTypedProfileName(input, pos) ? Acceptable : Invalid;
    }
};

} // namespace

NamePage::NamePage(QLineEdit *entry, ProfileDraft &draft, Table &stored, QObject *parent)
    : ProfilePage(parent), entry_(entry), draft_(draft), stored_(stored)
{
    entry_->setValidator(new ProfileNameValidator(entry_));
    connect(entry_, &QLineEdit::textEdited, this,
            [this](const QString &text) { draft_.writeField(Profile, text); });
}

QString NamePage::problem() const
{
    return nameProblem(stored_, entry_->text());
}

void NamePage::refused(const QString &problem)
{
    if (problem != DuplicateNameMessage)
        return;
    entry_->clear();
    draft_.writeField(Profile, QString());
    entry_->setFocus();
}

void NamePage::show()
{
    const QSignalBlocker quiet(entry_);
    entry_->setText(draft_.record().asString(Profile));
}

} // namespace cvb
