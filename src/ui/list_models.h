// Table models that present the core's file list and definition list to Qt
// views. The core lists own the rows; the models only translate (check
// marks, texts, column titles) and pass edits to the core's EndEdit.
#ifndef STRBATCH_UI_LIST_MODELS_H_
#define STRBATCH_UI_LIST_MODELS_H_

#include <QAbstractTableModel>
#include <QString>
#include <functional>

#include "lists/definition_list.h"
#include "lists/file_list.h"

namespace strbatch {

// Shared behaviour: three columns with settable titles, a check box in
// column 0, and a way to tell the views that the core list changed.
class ListModelBase : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ListModelBase(QObject* parent) : QAbstractTableModel(parent) {}

  int columnCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : 3;
  }
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                     int role = Qt::EditRole) override;

  // Runs a command that may add, remove or reorder rows of the core list.
  void Change(const std::function<void()>& command);
  // Repaints every cell after the core changed texts in place (counts
  // during a batch) without disturbing the selection or an open editor.
  void Refresh();

 private:
  QString titles_[3];
};

class FileListModel : public ListModelBase {
  Q_OBJECT

 public:
  FileListModel(FileList& files, QObject* parent) : ListModelBase(parent), files_(files) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  FileList& files_;
};

class DefinitionListModel : public ListModelBase {
  Q_OBJECT

 public:
  DefinitionListModel(DefinitionList& definitions, QObject* parent)
      : ListModelBase(parent), definitions_(definitions) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  // EditRole ends an edit in place: the text goes to the cell and, for a
  // row with long texts, to its store slot.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  DefinitionList& definitions_;
};

}  // namespace strbatch

#endif  // STRBATCH_UI_LIST_MODELS_H_
