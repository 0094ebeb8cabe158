#include "ChipTableModel.h"

#include <algorithm>

ChipTableModel::ChipTableModel(ChipTableDb &database, QObject *parent)
    : QAbstractTableModel(parent), database_(database) {}

std::optional<DbError> ChipTableModel::Load() {
    ChipTable table;
    if (auto error = database_.Read(table)) {
        return error;
    }
    beginResetModel();
    columns_ = table.columns;
    names_.clear();
    for (const ChipColumn &column : columns_) {
        names_.append(column.name);
    }
    rows_.clear();
    for (ChipRecord &record : table.rows) {
        rows_.append({record.rowid, std::move(record.values)});
    }
    edit_.reset();
    writable_ = true;
    endResetModel();
    return std::nullopt;
}

int ChipTableModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(rows_.size()); }

int ChipTableModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant ChipTableModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    const QVariant &value = rows_[index.row()].values[index.column()];
    if (value.isNull()) {
        return QString();
    }
    if (value.typeId() == QMetaType::QByteArray) {
        return QStringLiteral("(BLOB)");
    }
    return value.toString();
}

QVariant ChipTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Horizontal) {
        return columns_[section].name;
    }
    if (edit_ && edit_->row == section) {
        return rows_[section].rowid ? QStringLiteral("✎") : QStringLiteral("*");
    }
    return QString();
}

Qt::ItemFlags ChipTableModel::flags(const QModelIndex &index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    // A picture cannot be typed into a cell; its value is kept and written back.
    if (writable_ && index.isValid() && columns_[index.column()].kind != FieldKind::Blob) {
        flags |= Qt::ItemIsEditable;
    }
    return flags;
}

QVariant ChipTableModel::FieldValue(int column, const QVariant &typed) const {
    const QString text = typed.toString();
    if (text.isEmpty()) {
        return {};
    }
    bool parsed = false;
    switch (columns_[column].kind) {
    case FieldKind::Integer: {
        const qlonglong number = text.toLongLong(&parsed);
        if (parsed) return number;
        break;
    }
    case FieldKind::Real: {
        const double number = text.toDouble(&parsed);
        if (parsed) return number;
        break;
    }
    default:
        break;
    }
    // Not a number: the database decides whether the column takes the text.
    return text;
}

bool ChipTableModel::setData(const QModelIndex &index, const QVariant &value, int role) {
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable) || (edit_ && edit_->row != index.row())) {
        return false;
    }
    // An editor closed without a change must not make the row to be written,
    // nor turn a value into the text it is shown as.
    if (value.toString() == data(index, Qt::EditRole).toString()) {
        return true;
    }
    Row &row = rows_[index.row()];
    if (!edit_) {
        edit_ = Edit{index.row(), row, true};
    }
    edit_->modified = true;
    row.values[index.column()] = FieldValue(index.column(), value);
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    MarkRow(index.row());
    return true;
}

int ChipTableModel::EditingRow() const { return edit_ ? edit_->row : -1; }

bool ChipTableModel::IsBlankNewRow(int row) const {
    return edit_ && edit_->row == row && !rows_[row].rowid && !edit_->modified;
}

void ChipTableModel::MarkRow(int row) { emit headerDataChanged(Qt::Vertical, row, row); }

void ChipTableModel::RemoveRow(int row) {
    beginRemoveRows(QModelIndex(), row, row);
    rows_.removeAt(row);
    if (edit_ && edit_->row == row) {
        edit_.reset();
    } else if (edit_ && edit_->row > row) {
        --edit_->row;
    }
    endRemoveRows();
}

std::optional<DbError> ChipTableModel::FinishRow() {
    if (!edit_) {
        return std::nullopt;
    }
    const int row = edit_->row;
    if (IsBlankNewRow(row)) {
        RemoveRow(row);
        return std::nullopt;
    }
    Row &written = rows_[row];
    if (written.rowid) {
        if (auto error = database_.Update(names_, {*written.rowid, written.values})) {
            return error;
        }
    } else {
        qint64 rowid = 0;
        if (auto error = database_.Insert(names_, written.values, rowid)) {
            return error;
        }
        written.rowid = rowid;
    }
    edit_.reset();
    MarkRow(row);
    return std::nullopt;
}

void ChipTableModel::CancelRow() {
    if (!edit_) {
        return;
    }
    const int row = edit_->row;
    if (!rows_[row].rowid) {
        RemoveRow(row);
        return;
    }
    rows_[row] = edit_->original;
    edit_.reset();
    emit dataChanged(index(row, 0), index(row, columnCount() - 1), {Qt::DisplayRole, Qt::EditRole});
    MarkRow(row);
}

std::optional<DbError> ChipTableModel::InsertRow(int position) {
    if (!writable_) {
        return std::nullopt;
    }
    const int pending = EditingRow();
    const qsizetype before = rows_.size();
    if (auto error = FinishRow()) {
        return error;
    }
    if (rows_.size() < before && pending < position) {
        --position;
    }
    beginInsertRows(QModelIndex(), position, position);
    rows_.insert(position, Row{std::nullopt, QVariantList(columns_.size())});
    edit_ = Edit{position, {}, false};
    endInsertRows();
    MarkRow(position);
    return std::nullopt;
}

std::optional<DbError> ChipTableModel::DeleteRows(QList<int> rows) {
    if (edit_ && !rows.contains(edit_->row)) {
        const int pending = edit_->row;
        const bool drops = IsBlankNewRow(pending);
        if (auto error = FinishRow()) {
            return error;
        }
        if (drops) {
            for (int &row : rows) {
                if (row > pending) --row;
            }
        }
    }
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (const int row : rows) {
        if (const std::optional<qint64> rowid = rows_[row].rowid) {
            if (auto error = database_.Delete(*rowid)) {
                return error;
            }
        }
        RemoveRow(row);
    }
    return std::nullopt;
}
