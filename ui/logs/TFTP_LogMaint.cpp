#include "ui/logs/TFTP_LogMaint.h"

#include "ui_TFTP_LogMaint.h"

#include "data/DataError.h"
#include "data/DateText.h"
#include "data/FullLog.h"
#include "data/Layouts.h"
#include "data/Table.h"
#include "ui/common/Dialogs.h"
#include "ui/common/MainWindowAccess.h"
#include "ui/logs/LogRows.h"
#include "ui/logs/TFTP_LogReport.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHeaderView>
#include <QShortcut>
#include <QUrl>

namespace cvb {

TFTP_LogMaint::TFTP_LogMaint(MainWindowAccess &main, QWidget *parent)
    : QWidget(parent), ui_(std::make_unique<Ui::TFTP_LogMaint>()), main_(main), log_(main.Table_Log())
{
    ui_->setupUi(this);
    setObjectName(QStringLiteral("FTP_LogMaint"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);

    model_ = new LogTableModel(log_, this);
    QTableView *grid = ui_->DBGrid1;
    grid->setModel(model_);
    // Fixed row heights and column widths: the grid never measures the rows it does not show.
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->setColumnWidth(0, grid->fontMetrics().horizontalAdvance(DateText::date(QDate(2000, 12, 31))) + 16);
    grid->setColumnWidth(1, grid->fontMetrics().horizontalAdvance(DateText::time(QTime(23, 59, 59))) + 16);

    connect(model_, &QAbstractItemModel::modelReset, this, &TFTP_LogMaint::followCursor);
    connect(&log_, &Table::currentChanged, this, &TFTP_LogMaint::followCursor);
    connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { gridRowChanged(current.row()); });
    connect(ui_->DeleteButton, &QPushButton::clicked, this, &TFTP_LogMaint::DeleteButtonClick);
    connect(ui_->ClearButton, &QPushButton::clicked, this, &TFTP_LogMaint::ClearButtonClick);
    connect(ui_->ReportButton, &QPushButton::clicked, this, &TFTP_LogMaint::ReportButtonClick);
    connect(ui_->ShowFullLogButton, &QPushButton::clicked, this, &TFTP_LogMaint::ShowFullLogButtonClick);
    connect(ui_->DoneButton, &QPushButton::clicked, this, &TFTP_LogMaint::DoneButtonClick);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &TFTP_LogMaint::DoneButtonClick);

    try {
        log_.refresh();
    } catch (const DataError &e) {
        dialogs().error(e.message());
        setEnabled(false);
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    followCursor();
}

TFTP_LogMaint::~TFTP_LogMaint() = default;

QTableView *TFTP_LogMaint::DBGrid1() const
{
    return ui_->DBGrid1;
}

void TFTP_LogMaint::followCursor()
{
    if (!log_.isOpen() || log_.position() < 0)
        return;
    following_ = true;
    const QModelIndex current = model_->index(log_.position(), 0);
    ui_->DBGrid1->selectionModel()->setCurrentIndex(current, QItemSelectionModel::ClearAndSelect |
                                                                 QItemSelectionModel::Rows);
    ui_->DBGrid1->scrollTo(current);
    following_ = false;
}

void TFTP_LogMaint::gridRowChanged(int row)
{
    // Only the user's moves go to the cursor; a row being written through it is left alone.
    if (following_ || row < 0 || log_.state() != Table::State::Browse || row == log_.position())
        return;
    log_.moveTo(row);
}

void TFTP_LogMaint::reportingErrors(void (TFTP_LogMaint::*operation)())
{
    try {
        (this->*operation)();
    } catch (const DataError &e) {
        dialogs().error(e.message());
    }
}

void TFTP_LogMaint::DeleteButtonClick()
{
    reportingErrors(&TFTP_LogMaint::deleteEntry);
}

void TFTP_LogMaint::ClearButtonClick()
{
    reportingErrors(&TFTP_LogMaint::clearLog);
}

void TFTP_LogMaint::ReportButtonClick()
{
    reportingErrors(&TFTP_LogMaint::produceReport);
}

void TFTP_LogMaint::ShowFullLogButtonClick()
{
    reportingErrors(&TFTP_LogMaint::showFullLog);
}

void TFTP_LogMaint::DoneButtonClick()
{
    main_.ShowMenuPanel();
    close();
}

void TFTP_LogMaint::deleteEntry()
{
    if (!log_.isEmpty())
        log_.deleteRecord();
}

void TFTP_LogMaint::clearLog()
{
    if (dialogs().warning(ClearLogQuestion, Buttons::YesNo) == Answer::Yes)
        clearEntireLog(log_);
}

void TFTP_LogMaint::showFullLog()
{
    if (log_.isEmpty() || log_.eof())
        return;
    QStringList profiles;
    Table names;
    names.open(ProfilesTable, ProfileIndex);
    for (names.first(); !names.eof(); names.next())
        profiles << names.asString(QStringLiteral("PROFILE"));
    const QString profile = profileOfEvent(log_.asString(QStringLiteral("EVENT")), profiles);
    if (profile.isEmpty()) {
        dialogs().information(NoProfileNotice);
        return;
    }
    const QString path = fullLogPath(profile);
    if (!QFileInfo(path).isFile()) {
        dialogs().information(NoFullLogNotice.arg(profile));
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void TFTP_LogMaint::produceReport()
{
    TFTP_LogReport report(log_);
    report.Preview(this);
}

} // namespace cvb
