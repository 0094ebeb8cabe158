// The rows of table `ic`, read once, edited in place and written back row by
// row: a row being edited is written when it is finished (the operator leaves
// it), a new row is inserted then, a deleted row goes at once. A failed write
// leaves the row as the operator left it, still being edited.
#pragma once

#include <optional>

#include <QAbstractTableModel>
#include <QList>

#include "ChipTableDb.h"

class ChipTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit ChipTableModel(ChipTableDb &database, QObject *parent = nullptr);

    // Reads every row. After a failure the model stays empty and read-only.
    std::optional<DbError> Load();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Takes the typed text as the column's kind of value (an empty text as
    // NULL) and puts the row into editing; refused while another row is.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // The row being edited, or -1.
    int EditingRow() const;
    // A new row nothing was typed into yet.
    bool IsBlankNewRow(int row) const;

    // Writes the row being edited; a blank new row is dropped instead.
    std::optional<DbError> FinishRow();
    // Gives the row being edited its values back, or drops it when new.
    void CancelRow();
    // Finishes the row being edited, then puts a new row being edited at the
    // position, counted in the rows as they were before.
    std::optional<DbError> InsertRow(int position);
    // Deletes the rows from the file and the model, the last first; stops at
    // the first failure. The row being edited, when among them, is not written.
    std::optional<DbError> DeleteRows(QList<int> rows);

private:
    struct Row {
        std::optional<qint64> rowid;
        QVariantList values;
    };
    struct Edit {
        int row;
        Row original;
        bool modified;
    };

    QVariant FieldValue(int column, const QVariant &typed) const;
    void RemoveRow(int row);
    void MarkRow(int row);

    ChipTableDb &database_;
    QList<ChipColumn> columns_;
    QStringList names_;
    QList<Row> rows_;
    std::optional<Edit> edit_;
    bool writable_ = false;
};
