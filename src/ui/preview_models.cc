#include "ui/preview_models.h"

#include <QApplication>
#include <QPainter>
#include <QStringList>
#include <QStyle>
#include <algorithm>
#include <string>
#include <string_view>

namespace strbatch {
namespace {

// Characters of context shown on either side of a change, and of a changed
// part itself (a longer one is cut: the row shows one line of each).
constexpr int kContext = 60;
constexpr int kPartLimit = 1000;
// Bytes looked through before a change for the start of its line: a line
// can be megabytes long, and only its last kContext characters are shown.
constexpr size_t kLookBack = 8 * kContext;
constexpr int kMargin = 2;
const QChar kEllipsis(0x2026);

QString Decoded(const FilePreview& file, std::string_view bytes) {
  if (file.codePage->IsUtf8())
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  std::string utf8;
  file.codePage->ToUtf8(bytes, &utf8);
  return QString::fromStdString(utf8);
}

// A changed part: its line ends shown as marks, cut when very long.
QString Marked(QString text) {
  if (text.size() > kPartLimit) text = text.left(kPartLimit) + kEllipsis;
  text.replace(QLatin1Char('\r'), QChar(0x240D)).replace(QLatin1Char('\n'), QChar(0x21B5));
  return text;
}

// Where the text shown before the change at offset begins: its line's start,
// or, on a long line, the first character boundary kLookBack bytes or less
// before it. *cut tells that the line begins earlier.
size_t ContextStart(const FilePreview& file, size_t offset, bool* cut) {
  const std::string_view text = file.original;
  const size_t limit = offset > kLookBack ? offset - kLookBack : 0;
  size_t start = offset;
  while (start > limit && text[start - 1] != '\n') start--;
  *cut = start > 0 && text[start - 1] != '\n';
  if (!*cut) return start;
  if (file.codePage->IsUtf8()) {
    while (start < offset && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) start++;
    return start;
  }
  // A trail byte of a double-byte code page can look like a lead byte, so
  // characters are counted from a byte that can only stand alone (below
  // 0x40), however far back the nearest one is.
  size_t from = start;
  while (from > 0 && static_cast<unsigned char>(text[from - 1]) >= 0x40) from--;
  while (from < start) from = file.codePage->NextChar(text, from);
  return from;
}

}  // namespace

ChangeParts PartsOfChange(const FilePreview& file, size_t k) {
  const TextChange& change = file.changes[k];
  const std::string_view original = file.original;
  bool cutBefore = false;
  const size_t start = ContextStart(file, change.offset, &cutBefore);
  const size_t end = change.offset + change.length;
  // The line after the change, character by character up to one past what
  // is shown.
  size_t stop = end;
  int characters = 0;
  while (stop < original.size() && original[stop] != '\n' && characters <= kContext) {
    stop = file.codePage->NextChar(original, stop);
    characters++;
  }
  const bool cutAfter = characters > kContext;
  if (!cutAfter && stop > end && stop < original.size() && original[stop - 1] == '\r') stop--;

  ChangeParts parts;
  parts.before = Decoded(file, original.substr(start, change.offset - start));
  if (cutBefore || parts.before.size() > kContext)
    parts.before = kEllipsis + parts.before.right(kContext);
  parts.after = Decoded(file, original.substr(end, stop - end));
  if (cutAfter) parts.after = parts.after.left(kContext) + kEllipsis;
  parts.removed = Marked(Decoded(file, original.substr(change.offset, change.length)));
  parts.inserted = Marked(Decoded(file, Replacement(file.result, change)));
  return parts;
}

void ChangeListModel::ShowFile(const FilePreview* file, const std::vector<bool>* accepted) {
  beginResetModel();
  file_ = file;
  accepted_ = accepted;
  parts_.clear();
  endResetModel();
}

void ChangeListModel::BoxesChanged(size_t first, size_t last) {
  if (file_ == nullptr || first > last) return;
  emit dataChanged(index(static_cast<int>(first), kLineColumn),
                   index(static_cast<int>(last), kLineColumn), {Qt::CheckStateRole});
}

void ChangeListModel::SetTitles(const QString& line, const QString& change) {
  titles_[kLineColumn] = line;
  titles_[kChangeColumn] = change;
  emit headerDataChanged(Qt::Horizontal, kLineColumn, kChangeColumn);
}

int ChangeListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || file_ == nullptr ? 0 : static_cast<int>(file_->changes.size());
}

int ChangeListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 2;
}

const ChangeParts& ChangeListModel::Parts(int row) const {
  if (ChangeParts* cached = parts_.object(row)) return *cached;
  auto* parts = new ChangeParts(PartsOfChange(*file_, static_cast<size_t>(row)));
  parts_.insert(row, parts);
  return *parts;
}

QVariant ChangeListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || file_ == nullptr || index.row() >= rowCount()) return {};
  const auto k = static_cast<size_t>(index.row());
  if (index.column() == kLineColumn) {
    if (role == Qt::DisplayRole) return QString::number(file_->changes[k].line);
    if (role == Qt::CheckStateRole) return (*accepted_)[k] ? Qt::Checked : Qt::Unchecked;
    return {};
  }
  switch (role) {
    case kPartsRole: {
      const ChangeParts& parts = Parts(index.row());
      return QStringList{parts.before, parts.removed, parts.inserted, parts.after};
    }
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole: {
      const ChangeParts& parts = Parts(index.row());
      return QStringLiteral("- ") + parts.before + parts.removed + parts.after +
             QStringLiteral("\n+ ") + parts.before + parts.inserted + parts.after;
    }
    default:
      return {};
  }
}

bool ChangeListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || index.column() != kLineColumn || file_ == nullptr ||
      index.row() >= rowCount() || !onToggle) {
    return false;
  }
  onToggle(static_cast<size_t>(index.row()), value.value<Qt::CheckState>() == Qt::Checked);
  return true;
}

Qt::ItemFlags ChangeListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (index.column() == kLineColumn) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

QVariant ChangeListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 1) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  return titles_[section];
}

void ChangeDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
  QStyleOptionViewItem item(option);
  initStyleOption(&item, index);
  item.text.clear();
  const QWidget* widget = option.widget;
  QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
  style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

  const QStringList parts = index.data(ChangeListModel::kPartsRole).toStringList();
  if (parts.size() != 4) return;
  const QFontMetrics& metrics = option.fontMetrics;
  const QRect area = option.rect.adjusted(kMargin, kMargin, -kMargin, -kMargin);
  const QColor ink = option.palette.color(
      option.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text);
  painter->save();
  painter->setClipRect(area);
  painter->setFont(option.font);
  const QString lines[2][3] = {{QStringLiteral("- "), parts[1], QStringLiteral("#f4b8b8")},
                               {QStringLiteral("+ "), parts[2], QStringLiteral("#b8e8b8")}};
  for (int line = 0; line < 2; line++) {
    const int top = area.top() + line * metrics.lineSpacing();
    const int baseline = top + metrics.ascent();
    int x = area.left();
    auto draw = [&](const QString& text) {
      painter->drawText(x, baseline, text);
      x += metrics.horizontalAdvance(text);
    };
    painter->setPen(ink);
    draw(lines[line][0] + parts[0]);
    // The changed part on its colour, dark on it in a selected row too; an
    // empty one (nothing removed, nothing inserted) still shows where.
    const int from = x;
    const int width = std::max(metrics.horizontalAdvance(lines[line][1]), 2);
    painter->fillRect(QRect(from, top, width, metrics.lineSpacing()), QColor(lines[line][2]));
    painter->setPen(Qt::black);
    draw(lines[line][1]);
    x = from + width;
    painter->setPen(ink);
    draw(parts[3]);
  }
  painter->restore();
}

QSize ChangeDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  return {option.fontMetrics.averageCharWidth() * (2 * kContext + 10),
          2 * option.fontMetrics.lineSpacing() + 2 * kMargin};
}

}  // namespace strbatch
