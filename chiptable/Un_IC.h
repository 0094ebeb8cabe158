// The chip table window: the rows of table `ic` of icdata.db in the working
// directory, edited in place.
#pragma once

#include <memory>

#include <QDialog>

class ChipTableDb;
class ChipTableModel;
class ModalRunner;
class QModelIndex;
class QPushButton;
class QTableView;

class TfrmIC : public QDialog {
    Q_OBJECT

public:
    // Questions and error boxes go through the given runner.
    explicit TfrmIC(ModalRunner &modals, QWidget *parent = nullptr);
    ~TfrmIC() override;

    // False when the database library gave no connection at all: the window
    // is then not to be shown.
    bool HasConnection() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void LeaveRow(const QModelIndex &current, const QModelIndex &previous);
    void InsertRow(int position);
    void DeleteSelectedRows();
    void ShowError(const QString &message);

    ModalRunner &modals_;
    std::unique_ptr<ChipTableDb> database_;
    // After the connection, so it goes first.
    std::unique_ptr<ChipTableModel> model_;
    QTableView *gridIC;
    QPushButton *Button1;
    QPushButton *Button2;
};
