#pragma once
#include <QPoint>
#include <QRect>
#include <QString>

#include "editors/pickers.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QWidget;

// Columns of a picker group: the right-aligned label (left and width), the picker's left and the
// NC box's left. Rows are 32 pixels apart.
struct PickerColumns {
    int labelLeft;
    int labelWidth;
    int pickerLeft;
    int boxLeft;
};

QGroupBox* MakeGroup(QWidget* parent, const QString& name, const QString& caption, const QRect& rect);
// A label of its text's width with its top-left corner at the given point.
QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& caption, const QPoint& at);
// A right-aligned label of a fixed width.
QLabel* MakeRightLabel(QWidget* parent, const QString& name, const QString& caption, const QPoint& at, int width);
QCheckBox* MakeCheckBox(QWidget* parent, const QString& name, const QString& caption, const QRect& rect);
TimeEdit* MakeTimeEdit(QWidget* parent, const QString& name, const QRect& rect);
// One picker row at the given picker top: label "<caption>", picker "<stem>Sel" and, when
// withBox, the NC box "<stem>Cb" captioned "NC".
PickRow MakePickRow(QWidget* parent, const PickerColumns& cols, int top, const QString& caption, const QString& stem,
                    bool withBox);
