#include "editors/layout.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>

using namespace Qt::StringLiterals;

namespace {

// Labels stand 4 pixels below the top of the control they name, boxes 3 pixels.
constexpr int kLabelDrop = 4;
constexpr int kBoxDrop = 3;
constexpr int kLabelHeight = 15;

}  // namespace

QGroupBox* MakeGroup(QWidget* parent, const QString& name, const QString& caption, const QRect& rect)
{
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(name);
    box->setGeometry(rect);
    return box;
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& caption, const QPoint& at)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->move(at);
    label->adjustSize();
    return label;
}

QLabel* MakeRightLabel(QWidget* parent, const QString& name, const QString& caption, const QPoint& at, int width)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    label->setGeometry(at.x(), at.y(), width, kLabelHeight);
    return label;
}

QCheckBox* MakeCheckBox(QWidget* parent, const QString& name, const QString& caption, const QRect& rect)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setGeometry(rect);
    return box;
}

TimeEdit* MakeTimeEdit(QWidget* parent, const QString& name, const QRect& rect)
{
    auto* edit = new TimeEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(rect);
    return edit;
}

PickRow MakePickRow(QWidget* parent, const PickerColumns& cols, int top, const QString& caption, const QString& stem,
                    bool withBox)
{
    PickRow row;
    row.label = MakeRightLabel(parent, stem + u"Lb"_s, caption, QPoint(cols.labelLeft, top + kLabelDrop), cols.labelWidth);
    row.sel = new ResPicker(parent);
    row.sel->setObjectName(stem + u"Sel"_s);
    row.sel->move(cols.pickerLeft, top);
    row.label->setBuddy(row.sel);
    if (withBox) row.box = MakeCheckBox(parent, stem + u"Cb"_s, u"NC"_s, QRect(cols.boxLeft, top + kBoxDrop, 33, 17));
    return row;
}
