#include "ui/list_models.h"

#include "ui/ui_text.h"

namespace strbatch {
namespace {

QVariant CheckState(bool checked) { return checked ? Qt::Checked : Qt::Unchecked; }

QString CountText(const std::optional<int64_t>& count) {
  return count ? QString::number(*count) : QString();
}

}  // namespace

QVariant ListModelBase::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 3) {
    return titles_[section];
  }
  return QAbstractTableModel::headerData(section, orientation, role);
}

bool ListModelBase::setHeaderData(int section, Qt::Orientation orientation,
                                  const QVariant& value, int role) {
  if (orientation != Qt::Horizontal || section < 0 || section >= 3 ||
      (role != Qt::EditRole && role != Qt::DisplayRole)) {
    return false;
  }
  titles_[section] = value.toString();
  emit headerDataChanged(orientation, section, section);
  return true;
}

void ListModelBase::Change(const std::function<void()>& command) {
  beginResetModel();
  command();
  endResetModel();
}

void ListModelBase::Refresh() {
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, 2));
}

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(files_.Size());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<size_t>(index.row()) >= files_.Size()) return {};
  const FileRow& row = files_.Row(static_cast<size_t>(index.row()));
  if (role == Qt::CheckStateRole && index.column() == 0) return CheckState(row.checked);
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
    switch (index.column()) {
      case 0: return QString::number(index.row() + 1);
      case 1: return PathToQString(row.path);
      case 2: return CountText(row.count);
    }
  }
  return {};
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::CheckStateRole || index.column() != 0) return false;
  files_.SetChecked(static_cast<size_t>(index.row()),
                    value.value<Qt::CheckState>() == Qt::Checked);
  emit dataChanged(index, index, {Qt::CheckStateRole});
  return true;
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (index.isValid() && index.column() == 0) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

int DefinitionListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(definitions_.Size());
}

QVariant DefinitionListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<size_t>(index.row()) >= definitions_.Size()) return {};
  const size_t r = static_cast<size_t>(index.row());
  const DefinitionRow& row = definitions_.Row(r);
  if (role == Qt::CheckStateRole && index.column() == 0) return CheckState(row.checked);
  if (role == Qt::DisplayRole || role == Qt::EditRole) {
    switch (index.column()) {
      case 0: return FromCodePage(definitions_.Find(r));
      case 1: return FromCodePage(definitions_.Replace(r));
      case 2: return CountText(row.count);
    }
  }
  return {};
}

bool DefinitionListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid()) return false;
  const size_t row = static_cast<size_t>(index.row());
  if (role == Qt::CheckStateRole && index.column() == 0) {
    definitions_.SetChecked(row, value.value<Qt::CheckState>() == Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
  }
  if (role != Qt::EditRole) return false;
  definitions_.EndEdit(row, index.column(), ToCodePage(value.toString()));
  emit dataChanged(index, index);
  return true;
}

Qt::ItemFlags DefinitionListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (!index.isValid()) return flags;
  flags |= Qt::ItemIsEditable;
  if (index.column() == 0) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

}  // namespace strbatch
