// TFTP_LogMaint, log maintenance: a read-only grid over the main window's own log cursor, whose
// current row is the grid's current row, and the buttons "Delete Entry", "Clear Entire Log",
// "Produce Report", "Show Full Log" (the full log of the profile of the current row, in the
// desktop's viewer) and "Done". A child window inside the main window; it frees itself when closed.
//
// Object names: DBGrid1 (the grid), DeleteButton, ClearButton, ReportButton, ShowFullLogButton,
// DoneButton.
#pragma once

#include <QWidget>
#include <memory>

class QTableView;

namespace Ui {
class TFTP_LogMaint;
}

namespace cvb {

class MainWindowAccess;
class Table;
class LogTableModel;

// The question of "Clear Entire Log".
inline const QString ClearLogQuestion = QStringLiteral("Are you sure you want to clear the entire log?");
// What "Show Full Log" says when there is nothing to show; %1 is the profile.
inline const QString NoFullLogNotice = QStringLiteral("There is no full log of profile %1 yet.");
inline const QString NoProfileNotice = QStringLiteral(
    "This row belongs to no profile. Choose a row of a backup to see the full log of its profile.");

class TFTP_LogMaint : public QWidget
{
    Q_OBJECT
public:
    // Reads the rows that other cursors (the backup windows') have written meanwhile. A log table
    // that cannot be read is reported by name and the window closes, leaving the table as it is.
    explicit TFTP_LogMaint(MainWindowAccess &main, QWidget *parent = nullptr);
    ~TFTP_LogMaint() override;

    QTableView *DBGrid1() const;

    // Handlers.
    void DeleteButtonClick(); // the row under the cursor, without asking; nothing on an empty log
    void ClearButtonClick();
    void ReportButtonClick();
    void ShowFullLogButtonClick();
    void DoneButtonClick();

private:
    void followCursor();
    void gridRowChanged(int row);
    // Runs a table operation; a table error is shown by the general error display.
    void reportingErrors(void (TFTP_LogMaint::*operation)());
    void deleteEntry();
    void clearLog();
    void produceReport();
    void showFullLog();

    std::unique_ptr<Ui::TFTP_LogMaint> ui_;
    MainWindowAccess &main_;
    Table &log_;
    LogTableModel *model_;
    bool following_ = false;
};

} // namespace cvb
