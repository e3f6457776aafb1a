#include "ui/profiles/ProfilePage.h"

#include "data/DataError.h"
#include "data/Table.h"
#include "ui/common/Dialogs.h"
#include "ui/profiles/ProfileRules.h"

namespace cvb {

namespace {

bool editing(const Table &table)
{
    return table.state() == Table::State::Edit || table.state() == Table::State::Insert;
}

} // namespace

void ProfileDraft::startNew()
{
    startNewProfile(profiles_);
    owned_ = true;
    new_ = true;
}

bool ProfileDraft::editCurrent()
{
    if (profiles_.isEmpty())
        return false;
    profiles_.edit();
    owned_ = true;
    new_ = false;
    return true;
}

void ProfileDraft::write(const std::function<void(Table &)> &change)
{
    try {
        if (!editing(profiles_)) {
            if (profiles_.isEmpty())
                return;
            profiles_.edit();
            owned_ = true;
        }
        change(profiles_);
    } catch (const DataError &e) {
        dialogs().error(e.message());
    }
}

void ProfileDraft::writeField(const QString &field, const QVariant &value)
{
    write([&](Table &record) {
        if (value.typeId() == QMetaType::Bool)
            record.setBool(field, value.toBool());
        else
            record.setString(field, value.toString());
    });
}

void ProfileDraft::release()
{
    if (!owned_)
        return;
    owned_ = false;
    if (editing(profiles_))
        profiles_.cancel();
}

} // namespace cvb
