// TFTP_LogMaint, log maintenance: a read-only grid over the main window's own log cursor, whose
// current row is the grid's current row, and the buttons "Delete Entry", "Clear Entire Log",
// "Produce Report" and "Done". A child window inside the main window; it frees itself when closed.
//
// Object names: DBGrid1 (the grid), DeleteButton, ClearButton, ReportButton, DoneButton.
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
    void DoneButtonClick();

private:
    void followCursor();
    void gridRowChanged(int row);
    // Runs a table operation; a table error is shown by the general error display.
    void reportingErrors(void (TFTP_LogMaint::*operation)());
    void deleteEntry();
    void clearLog();
    void produceReport();

    std::unique_ptr<Ui::TFTP_LogMaint> ui_;
    MainWindowAccess &main_;
    Table &log_;
    LogTableModel *model_;
    bool following_ = false;
};

} // namespace cvb
