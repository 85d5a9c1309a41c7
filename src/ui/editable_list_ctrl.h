// The definition list's view: a table with check boxes and single, full-row
// selection whose cells are edited in place by a double-click on any cell
// (the count cell too). The edit field keeps Enter, Escape, Delete and Ctrl
// keys to itself, so the main window's default and cancel buttons never see
// them; it widens while the user types, up to the list's right edge.
#ifndef STRBATCH_UI_EDITABLE_LIST_CTRL_H_
#define STRBATCH_UI_EDITABLE_LIST_CTRL_H_

#include <QLineEdit>
#include <array>
#include <QStyledItemDelegate>
#include <QTableView>

#include "config/language.h"

namespace strbatch {

// The edit field over one cell (control id 100). Escape ends the edit
// without a change; Enter or a click elsewhere keeps the text.
class InplaceEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit InplaceEdit(QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void WidenToText();
};

class InplaceEditDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  // texts: for the message when a typed character cannot be held.
  InplaceEditDelegate(const LanguageCatalog* texts, QObject* parent)
      : QStyledItemDelegate(parent), texts_(texts) {}
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;

 private:
  const LanguageCatalog* texts_;
};

// A table view for the two lists; with editable set, a double-click edits
// the cell under the pointer. Keys: Delete asks to delete the current row,
// Space toggles its check mark, F2 edits its cell (editable lists). Files
// and folders dropped on it are handed on as paths.
class EditableListCtrl : public QTableView {
  Q_OBJECT

 public:
  EditableListCtrl(bool editable, QWidget* parent);
  // The share of the width each column has now (as the user may have dragged
  // them), for the settings.
  std::array<double, 3> ColumnFractions() const;
  // The texts of the message when an edit in place brings in a character
  // the code page cannot hold (such an edit is refused).
  void SetTexts(const LanguageCatalog* texts);

  // Opens an edit field over the cell; false when the row cannot be shown
  // or the column is too narrow.
  bool EditCell(int row, int column);

  // Selects, focuses and shows a row (none for a negative row).
  void SelectRow(int row);
  // The selected row, or -1.
  int SelectedRow() const;

  // Column widths as fractions of the list's client width.
  void SetColumnFractions(double first, double second, double third);
  // A list that is not editable sizes its first column (check box and row
  // number) to the widest row number instead.
  void setModel(QAbstractItemModel* model) override;

 signals:
  // A double-click on a row of a list that is not editable.
  void rowDoubleClicked(int row);
  // Delete pressed on the list.
  void deleteRequested();
  // Local files or folders dropped on the list, in drop order.
  void pathsDropped(const QStringList& paths);

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Tab in an edit goes find -> replace -> the next row's find, never into
  // the count column, which only a double-click edits.
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void ApplyColumnFractions();
  int NumberColumnWidth() const;

  bool editable_;
  bool applyingFractions_ = false;
  double fractions_[3] = {0.1, 0.8, 0.1};
};

}  // namespace strbatch

#endif  // STRBATCH_UI_EDITABLE_LIST_CTRL_H_
