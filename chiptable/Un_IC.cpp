#include "Un_IC.h"

#include <set>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "CentreOnScreen.h"
#include "ChipTableDb.h"
#include "ChipTableModel.h"
#include "ModalRunner.h"

TfrmIC::TfrmIC(ModalRunner &modals, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      modals_(modals) {
    setObjectName(QStringLiteral("frmIC"));
    setWindowTitle(QStringLiteral("芯片维护"));

    gridIC = new QTableView(this);
    gridIC->setObjectName(QStringLiteral("gridIC"));
    gridIC->horizontalHeader()->setMinimumSectionSize(20);
    gridIC->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    gridIC->verticalHeader()->setMinimumWidth(20);
    gridIC->installEventFilter(this);

    Button1 = new QPushButton(QStringLiteral("新增"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("删除"), this);
    Button2->setObjectName(QStringLiteral("Button2"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(gridIC);
    layout->addLayout(buttons);

    resize(960, 320);
    CentreOnScreen(*this);
    FormCreate();
}

TfrmIC::~TfrmIC() = default;

void TfrmIC::FormCreate() {
    database_ = std::make_unique<ChipTableDb>(QStringLiteral("icdata.db"));
    if (!database_->HasConnection()) {
        ShowError(QStringLiteral("Cannot open database"));
        return;
    }
    model_ = std::make_unique<ChipTableModel>(*database_);
    if (auto error = model_->Load()) {
        ShowError(error->Text());
    }
    gridIC->setModel(model_.get());
    connect(gridIC->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &TfrmIC::LeaveRow);
}

bool TfrmIC::HasConnection() const { return database_->HasConnection(); }

void TfrmIC::ShowError(const QString &message) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Kestro_QX"), message, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("ErrorBox"));
    modals_.Run(box);
}

void TfrmIC::LeaveRow(const QModelIndex &, const QModelIndex &previous) {
    if (!previous.isValid() || model_->EditingRow() != previous.row()) {
        return;
    }
    if (auto error = model_->FinishRow()) {
        ShowError(error->Text());
        // Back to the row that is still being edited.
        gridIC->setCurrentIndex(previous);
    }
}

void TfrmIC::InsertRow(int position) {
    if (auto error = model_->InsertRow(position)) {
        ShowError(error->Text());
        return;
    }
    const int inserted = model_->EditingRow();
    if (inserted >= 0) {
        gridIC->setCurrentIndex(model_->index(inserted, qMax(gridIC->currentIndex().column(), 0)));
    }
}

void TfrmIC::DeleteSelectedRows() {
    const QModelIndex current = gridIC->currentIndex();
    if (!current.isValid()) {
        return;
    }
    std::set<int> selected;
    for (const QModelIndex &index : gridIC->selectionModel()->selectedIndexes()) {
        selected.insert(index.row());
    }
    QList<int> rows{current.row()};
    QString question = QStringLiteral("删除记录?");
    if (selected.size() > 1) {
        rows = QList<int>(selected.begin(), selected.end());
        question = QStringLiteral("删除所有选择的记录?");
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("Kestro_QX"), question,
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("ConfirmBox"));
    box.setDefaultButton(QMessageBox::Cancel);
    if (modals_.Run(box) != QMessageBox::Ok) {
        return;
    }
    if (auto error = model_->DeleteRows(rows)) {
        ShowError(error->Text());
    }
}

// The grid's own keys: Insert inserts before the current row, Down on the
// last row appends, Delete deletes, Escape gives up the row's edit. Keys typed
// into a cell editor never come here.
bool TfrmIC::eventFilter(QObject *watched, QEvent *event) {
    if (watched != gridIC || event->type() != QEvent::KeyPress || !model_) {
        return QDialog::eventFilter(watched, event);
    }
    const auto *key = static_cast<QKeyEvent *>(event);
    const int row = gridIC->currentIndex().row();
    const int last = model_->rowCount() - 1;
    switch (key->key()) {
    case Qt::Key_Insert:
        InsertRow(qMax(row, 0));
        return true;
    case Qt::Key_Down:
        if (row != last) {
            return false;
        }
        if (!model_->IsBlankNewRow(last)) {
            InsertRow(last + 1);
        }
        return true;
    case Qt::Key_Delete:
        DeleteSelectedRows();
        return true;
    case Qt::Key_Escape:
        if (model_->EditingRow() < 0) {
            return false;
        }
        model_->CancelRow();
        return true;
    default:
        return false;
    }
}
