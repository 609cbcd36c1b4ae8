#include "editors/pickers.h"

#include <algorithm>
#include <array>
#include <utility>

#include <QCheckBox>
#include <QFocusEvent>
#include <QListView>
#include <QStyle>
#include <QStringDecoder>
#include <QStringEncoder>

using namespace Qt::StringLiterals;

namespace {

// cp1250 maps every byte to at most one UTF-16 unit, so one table built once by the codec serves
// all conversions for display. Undefined bytes come back from the codec as C1 control characters
// and a SUB (0x1A) stands for what could not be converted; neither is printable, so both show "?".
const std::array<QChar, 256>& AnsiTable()
{
    static const std::array<QChar, 256> table = [] {
        std::array<QChar, 256> t{};
        QStringDecoder decoder("windows-1250");
        for (int b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            const QString one = decoder.decode(QByteArrayView(&byte, 1));
            decoder.resetState();
            const QChar c = one.size() == 1 ? one.front() : QChar(u'?');
            const bool control = c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F);
            t[static_cast<std::size_t>(b)] = control ? QChar(u'?') : c;
        }
        return t;
    }();
    return table;
}

const QString& EmptyEntryText()
{
    static const QString text = u"  -----"_s;
    return text;
}

}  // namespace

QString AnsiToQString(std::string_view ansi)
{
    const auto& table = AnsiTable();
    QString out(static_cast<qsizetype>(ansi.size()), Qt::Uninitialized);
    for (std::size_t i = 0; i < ansi.size(); ++i)
        out[static_cast<qsizetype>(i)] = table[static_cast<unsigned char>(ansi[i])];
    return out;
}

std::string QStringToAnsi(const QString& text)
{
    QStringEncoder encoder("windows-1250");
    const QByteArray bytes = encoder.encode(text);
    std::string out(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    // The codec marks an unrepresentable character with SUB; the stored name gets "?" instead.
    for (char& c : out)
        if (c == '\x1A') c = '?';
    return out;
}

QString FreeEntries::Text(ResId id) const
{
    // Output sets carry their number like the other kinds ("D105_00031:Set2"), so that the sets of
    // one device can be told apart in the floor-group pickers.
    return AnsiToQString(devs_.ResName(id, BusDevSet::ResourcePrefix(kind_)));
}

void PickerModel::Reset(const FreeEntries& free, ResId current)
{
    beginResetModel();
    free_ = &free;
    current_ = current;
    filtered_.clear();
    ids_ = free.Ids();
    count_ = free.Count();
    endResetModel();
}

void PickerModel::ResetFiltered(const FreeEntries& free, ResId current, std::vector<ResId> ids)
{
    beginResetModel();
    free_ = &free;
    current_ = current;
    filtered_ = std::move(ids);
    ids_ = filtered_.data();
    count_ = static_cast<int>(filtered_.size());
    endResetModel();
}

int PickerModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || free_ == nullptr) return 0;
    return FreeOffset() + count_;
}

ResId PickerModel::IdAt(int row) const
{
    if (free_ == nullptr || row < 0 || row >= rowCount()) return kNoRes;
    if (current_ != kNoRes && row == 0) return current_;
    const int freeRow = row - FreeOffset();
    return freeRow < 0 ? kNoRes : ids_[freeRow];
}

QVariant PickerModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const ResId id = IdAt(index.row());
    switch (role) {
    case kResIdRole:
        return QVariant::fromValue(static_cast<uint>(id));
    case Qt::DisplayRole:
    case Qt::EditRole:
        return id == kNoRes ? EmptyEntryText() : free_->Text(id);
    default:
        return {};
    }
}

ResPicker::ResPicker(QWidget* parent) : QComboBox(parent), entries_(new PickerModel(this))
{
    setEditable(false);
    setModel(entries_);
    // A fixed size: nothing ever measures the entries to size the box.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setFixedSize(113, 22);
}

void ResPicker::showPopup()
{
    // The popup's list is made on first use; thousands of rows of one height need no measuring
    // for their height.
    if (auto* list = qobject_cast<QListView*>(view())) list->setUniformItemSizes(true);
    // The open list is as wide as its longest entry, scroll bar and frame included, so that names
    // that differ only in their middle digits are shown whole; the closed picker keeps its size.
    const QFontMetrics metrics(view()->font());
    int widest = 0;
    for (int row = 0; row < count(); ++row) widest = std::max(widest, metrics.horizontalAdvance(itemText(row)));
    const int margins = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view()) + 1) +
                        2 * view()->frameWidth() + 2 * 4;
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view());
    view()->setMinimumWidth(std::max(width(), widest + margins + scrollBar));
    QComboBox::showPopup();
}

void FillPicker(ResPicker* picker, ResId current, const FreeEntries& free)
{
    picker->Entries()->Reset(free, current);
    picker->setCurrentIndex(0);
}

void FillSensorPicker(ResPicker* picker, ResId sensor, ResId lock, const FreeEntries& freeInputs)
{
    std::vector<ResId> sameDevice;
    if (lock != kNoRes) {
        for (int i = 0; i < freeInputs.Count(); ++i) {
            const ResId id = freeInputs.Ids()[i];
            if (ResDevice(id) == ResDevice(lock)) sameDevice.push_back(id);
        }
    }
    picker->Entries()->ResetFiltered(freeInputs, sensor, std::move(sameDevice));
    picker->setCurrentIndex(0);
    picker->setEnabled(lock != kNoRes);
}

void ShowNcBox(QCheckBox* box, ResId id, ResKind kind, const BusDevSet& devs)
{
    const bool assigned = id != kNoRes;
    bool enabled = assigned;
    if (kind == ResKind::Output && assigned) {
        // Relay outputs switch between NC and NO by wiring; only open-collector outputs take the flag.
        const BusDev* dev = devs.DeviceOf(id);
        enabled = dev != nullptr && dev->hasOc;
    }
    box->setEnabled(enabled);
    box->setChecked(ResHasNc(id));
}

void ShowExitBox(QCheckBox* box, ResId id, bool exitFlag)
{
    const bool assigned = id != kNoRes;
    box->setEnabled(assigned);
    box->setChecked(assigned && exitFlag);
}

TimeEdit::TimeEdit(QWidget* parent) : QLineEdit(parent)
{
    setMaxLength(4);
}

void TimeEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason)
        emit exited();
}

void ShowTime(TimeEdit* edit, int value)
{
    if (edit->isModified()) return;
    edit->setText(QString::fromLatin1(TimeText(value).c_str()));
}

void ShowName(QLineEdit* edit, const QString& name)
{
    if (edit->text() != name) edit->setText(name);
}
