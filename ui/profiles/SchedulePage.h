// The schedule page of the profile wizard (TabSheet3): the schedule kind RadioGroup1 (rbDaily,
// rbHourly) bound to KIND, the day boxes bound to the day flags, and the time fields (cbHour,
// cbMinute, cbAmPm) and interval (seInterval), which are not bound: the page stores them as TIME
// and INTERVAL when the wizard leaves it forwards.
#pragma once

#include "ui/profiles/ProfilePage.h"
#include "ui/profiles/ProfileRules.h"

#include <array>

class QCheckBox;
class QComboBox;
class QRadioButton;
class QSpinBox;

namespace cvb {

class SchedulePage : public ProfilePage
{
    Q_OBJECT
public:
    struct Controls
    {
        QRadioButton *daily = nullptr;
        QRadioButton *hourly = nullptr;
        std::array<QCheckBox *, 7> days{}; // in the order of DayFields
        QComboBox *hour = nullptr;
        QComboBox *minute = nullptr;
        QComboBox *ampm = nullptr;
        QSpinBox *interval = nullptr;
    };

    // Neither kind is chosen until the draft is shown.
    SchedulePage(const Controls &controls, ProfileDraft &draft, QObject *parent = nullptr);

    // No kind chosen, or a field the chosen kind needs is empty.
    QString problem() const override;
    // TIME from the time fields, and for an hourly kind INTERVAL from the interval.
    void store() override;
    // The kind and the day boxes.
    void show() override;

    // The time fields and interval as typed, and shown.
    ScheduleFields typed() const;
    void showFields(const ScheduleFields &fields);
    // Loads the time fields and interval from the draft's TIME and INTERVAL; with
    // `timeOfDailyOnly` the time only from a daily record.
    void showStoredFields(bool timeOfDailyOnly);

private:
    void showKind(const QString &kind);

    Controls controls_;
    ProfileDraft &draft_;
};

} // namespace cvb
