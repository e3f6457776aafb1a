#include "ui/profiles/SchedulePage.h"

#include "data/Table.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QSpinBox>

namespace cvb {

namespace {

const QString Kind = QStringLiteral("KIND");

} // namespace

SchedulePage::SchedulePage(const Controls &controls, ProfileDraft &draft, QObject *parent)
    : ProfilePage(parent), controls_(controls), draft_(draft)
{
    connect(controls_.daily, &QRadioButton::clicked, this, [this] { draft_.writeField(Kind, DailyKind); });
    connect(controls_.hourly, &QRadioButton::clicked, this, [this] { draft_.writeField(Kind, HourlyKind); });
    for (std::size_t day = 0; day < DayFields.size(); ++day) {
        const QString field = QString::fromLatin1(DayFields[day]);
        connect(controls_.days[day], &QCheckBox::clicked, this,
                [this, field](bool on) { draft_.writeField(field, on); });
    }
    showKind(QString());
}

QString SchedulePage::problem() const
{
    return scheduleProblem(draft_.record().asString(Kind), typed());
}

void SchedulePage::store()
{
    storeSchedule(draft_.record(), typed());
}

void SchedulePage::show()
{
    const Table &record = draft_.record();
    showKind(record.asString(Kind));
    for (std::size_t day = 0; day < DayFields.size(); ++day)
        controls_.days[day]->setChecked(record.asBool(QString::fromLatin1(DayFields[day])));
}

void SchedulePage::showKind(const QString &kind)
{
    // Neither button stays chosen for a kind that is neither.
    for (QRadioButton *button : {controls_.daily, controls_.hourly}) {
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
    if (kind == DailyKind)
        controls_.daily->setChecked(true);
    else if (kind == HourlyKind)
        controls_.hourly->setChecked(true);
}

ScheduleFields SchedulePage::typed() const
{
    ScheduleFields fields;
    fields.hour = controls_.hour->currentText();
    fields.minute = controls_.minute->currentText();
    fields.ampm = controls_.ampm->currentText();
    fields.interval = controls_.interval->cleanText();
    return fields;
}

void SchedulePage::showFields(const ScheduleFields &fields)
{
    controls_.hour->setCurrentText(fields.hour);
    controls_.minute->setCurrentText(fields.minute);
    controls_.ampm->setCurrentText(fields.ampm);
    controls_.interval->setValue(fields.interval.toInt());
}

void SchedulePage::showStoredFields(bool timeOfDailyOnly)
{
    showFields(scheduleFieldsOf(draft_.record(), typed(), timeOfDailyOnly));
}

} // namespace cvb
