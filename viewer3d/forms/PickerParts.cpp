#include "viewer3d/forms/PickerParts.h"

#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/SFlatCaption.h"

#include <QCursor>
#include <QDialog>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

TSPickerParts BuildPicker(QDialog* Form, const std::string& Text, QWidget* Body)
{
    TSPickerParts parts;
    Form->setWindowTitle(QString::fromStdString(Text));
    auto* column = new QVBoxLayout(Form);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    parts.Caption = new TSFlatCaption(Form);
    parts.Caption->SetText(Text);
    parts.Caption->ShowButtons({fccClose});
    parts.Caption->setFixedHeight(kCaptionHeight);
    column->addWidget(parts.Caption);
    column->addWidget(Body, 1);
    auto* panel = new QHBoxLayout();
    panel->setContentsMargins(4, 4, 8, 4);
    panel->setSpacing(4);
    panel->addStretch(1);
    parts.Ok = new QPushButton("Ok", Form);
    parts.Cancel = new QPushButton("Cancel", Form);
    parts.Ok->setDefault(true);
    panel->addWidget(parts.Ok);
    panel->addWidget(parts.Cancel);
    column->addLayout(panel);
    QObject::connect(parts.Ok, &QPushButton::clicked, Form, [Form] { Form->done(1); });
    QObject::connect(parts.Cancel, &QPushButton::clicked, Form, [Form] { Form->done(2); });
    return parts;
}

void ConfirmOnDoubleClick(QDialog* Form, QListWidget* List)
{
    QObject::connect(List, &QListWidget::itemDoubleClicked, Form, [Form] { Form->done(1); });
}

void ConfirmOnLabelDoubleClick(QDialog* Form, QTreeWidget* Tree)
{
    QObject::connect(Tree, &QTreeWidget::itemDoubleClicked, Form, [Form, Tree](QTreeWidgetItem* Item) {
        const QPoint at = Tree->viewport()->mapFromGlobal(QCursor::pos());
        if (Item != nullptr && Tree->itemAt(at) == Item)
            Form->done(1);
    });
}

std::optional<int> RunListPicker(QDialog* Form, QListWidget* List, const std::vector<std::string>& Lines,
                                 int Preselect)
{
    List->clear();
    for (const std::string& line : Lines)
        List->addItem(QString::fromStdString(line));
    List->setCurrentRow(Preselect);
    if (Form->exec() != 1)
        return std::nullopt;
    const int row = List->currentRow();
    return row >= 0 && row < int(Lines.size()) ? row : -1;
}
