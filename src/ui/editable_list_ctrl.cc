#include "ui/editable_list_ctrl.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QUrl>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

#include "ui/ui_text.h"

namespace strbatch {

InplaceEdit::InplaceEdit(QWidget* parent) : QLineEdit(parent) {
  SetResourceId(this, 100);
  connect(this, &QLineEdit::textEdited, this, &InplaceEdit::WidenToText);
}

void InplaceEdit::keyPressEvent(QKeyEvent* event) {
  QLineEdit::keyPressEvent(event);
  const int key = event->key();
  // A line edit passes Enter on to its window, where it would press the
  // default button (a batch replace); these keys belong to the field.
  if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape ||
      key == Qt::Key_Delete || (event->modifiers() & Qt::ControlModifier)) {
    event->accept();
  }
}

void InplaceEdit::WidenToText() {
  const int wanted = fontMetrics().horizontalAdvance(text()) + 5 + textMargins().left() + textMargins().right() + 8;
  if (width() >= wanted || !parentWidget()) return;
  const int room = parentWidget()->width() - x();
  resize(std::max(width(), std::min(wanted, room)), height());
}

QWidget* InplaceEditDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                           const QModelIndex& index) const {
  auto* editor = new InplaceEdit(parent);
  QVariant alignment = index.data(Qt::TextAlignmentRole);
  editor->setAlignment(alignment.isValid() ? Qt::Alignment(alignment.toInt())
                                           : Qt::AlignLeft | Qt::AlignVCenter);
  return editor;
}

void InplaceEditDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  QStyledItemDelegate::setEditorData(editor, index);
  // Watched from the text the cell holds on: a definition never takes a
  // character the code page would turn into "?".
  if (auto* field = qobject_cast<QLineEdit*>(editor); field && texts_ && !field->property("heldText").isValid()) {
    RefuseCharactersNotHeld(field, *texts_);
  }
}

void InplaceEditDelegate::updateEditorGeometry(QWidget* editor,
                                               const QStyleOptionViewItem& option,
                                               const QModelIndex& index) const {
  QStyledItemDelegate::updateEditorGeometry(editor, option, index);
  // Never past the right edge of the list's client area.
  QRect rect = editor->geometry();
  if (QWidget* viewport = editor->parentWidget(); viewport && rect.right() >= viewport->width()) {
    rect.setRight(viewport->width() - 1);
    editor->setGeometry(rect);
  }
}

void EditableListCtrl::SetTexts(const LanguageCatalog* texts) {
  if (!editable_) return;
  QAbstractItemDelegate* old = itemDelegate();
  setItemDelegate(new InplaceEditDelegate(texts, this));
  delete old;
}

EditableListCtrl::EditableListCtrl(bool editable, QWidget* parent)
    : QTableView(parent), editable_(editable) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Tab leaves the list for the next control; the arrows move inside it
  // (an edit in place still goes on to the next cell with Tab).
  setTabKeyNavigation(false);
  setShowGrid(false);
  setWordWrap(false);
  setTextElideMode(Qt::ElideRight);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setStretchLastSection(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  if (editable_) setItemDelegate(new InplaceEditDelegate(nullptr, this));
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDropIndicatorShown(false);
  setContextMenuPolicy(Qt::CustomContextMenu);
  // A column the user drags keeps its share of the width when the list is
  // resized.
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
    const int width = viewport()->width();
    if (applyingFractions_ || section < 0 || section > 2 || width <= 0) return;
    fractions_[section] = static_cast<double>(size) / width;
  });
}

bool EditableListCtrl::EditCell(int row, int column) {
  if (!model() || row < 0 || row >= model()->rowCount() || column < 0 ||
      column >= model()->columnCount()) {
    return false;
  }
  if (columnWidth(column) <= 4) return false;
  QModelIndex index = model()->index(row, column);
  scrollTo(index);
  if (!visualRect(index).intersects(viewport()->rect())) return false;
  SelectRow(row);
  setCurrentIndex(index);
  edit(index);
  return state() == QAbstractItemView::EditingState;
}

void EditableListCtrl::SelectRow(int row) {
  if (!model() || row < 0 || row >= model()->rowCount()) {
    clearSelection();
    return;
  }
  QModelIndex index = model()->index(row, 0);
  selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(index);
}

int EditableListCtrl::SelectedRow() const {
  if (!selectionModel()) return -1;
  QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void EditableListCtrl::SetColumnFractions(double first, double second, double third) {
  fractions_[0] = first;
  fractions_[1] = second;
  fractions_[2] = third;
  ApplyColumnFractions();
}

std::array<double, 3> EditableListCtrl::ColumnFractions() const {
  std::array<double, 3> fractions = {fractions_[0], fractions_[1], fractions_[2]};
  const int width = viewport()->width();
  if (!model() || width <= 0) return fractions;
  for (int c = 0; c < 3 && c < model()->columnCount(); c++) {
    fractions[c] = static_cast<double>(columnWidth(c)) / width;
  }
  return fractions;
}

void EditableListCtrl::setModel(QAbstractItemModel* model) {
  QTableView::setModel(model);
  if (!model || editable_) return;
  // The row numbers' column follows the number of rows.
  connect(model, &QAbstractItemModel::modelReset, this, [this] { ApplyColumnFractions(); });
  connect(model, &QAbstractItemModel::rowsInserted, this, [this] { ApplyColumnFractions(); });
  connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { ApplyColumnFractions(); });
}

int EditableListCtrl::NumberColumnWidth() const {
  const int rows = model() ? std::max(model()->rowCount(), 1) : 1;
  const QString widest(QString::number(rows).size(), QLatin1Char('9'));
  const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  return style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) +
         style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, this) +
         fontMetrics().horizontalAdvance(widest) + 4 * margin + 4;
}

void EditableListCtrl::ApplyColumnFractions() {
  if (!model()) return;
  const int width = viewport()->width();
  applyingFractions_ = true;
  const int columns = std::min(3, model()->columnCount());
  if (editable_ || columns < 3) {
    for (int c = 0; c < columns; c++) setColumnWidth(c, static_cast<int>(width * fractions_[c]));
  } else {
    // A list of numbered rows: the numbers are never cut, whatever the
    // share; the name takes what the count leaves.
    const int numbers = NumberColumnWidth();
    const int count = static_cast<int>(width * fractions_[2]);
    setColumnWidth(0, numbers);
    setColumnWidth(2, count);
    setColumnWidth(1, std::max(width - numbers - count, 40));
  }
  applyingFractions_ = false;
}

void EditableListCtrl::keyPressEvent(QKeyEvent* event) {
  const QModelIndex current = currentIndex();
  switch (event->key()) {
    case Qt::Key_Delete:
      emit deleteRequested();
      return;
    case Qt::Key_Space:
      if (current.isValid() && model()) {
        const QModelIndex check = model()->index(current.row(), 0);
        const bool checked = check.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        model()->setData(check, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
      }
      return;
    case Qt::Key_F2:
      if (editable_ && current.isValid()) EditCell(current.row(), std::min(current.column(), 1));
      return;
    default:
      QTableView::keyPressEvent(event);
  }
}

QModelIndex EditableListCtrl::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  const QModelIndex current = currentIndex();
  if (!editable_ || !model() || !current.isValid() ||
      (action != MoveNext && action != MovePrevious)) {
    return QTableView::moveCursor(action, modifiers);
  }
  int row = current.row();
  int column = std::min(current.column(), 1);
  if (action == MoveNext) {
    if (++column > 1) column = 0, ++row;
  } else if (--column < 0) {
    column = 1, --row;
  }
  if (row < 0 || row >= model()->rowCount()) return current;
  return model()->index(row, column);
}

void EditableListCtrl::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
  } else {
    QTableView::dragEnterEvent(event);
  }
}

void EditableListCtrl::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
  } else {
    QTableView::dragMoveEvent(event);
  }
}

void EditableListCtrl::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  if (paths.isEmpty()) {
    QTableView::dropEvent(event);
    return;
  }
  event->acceptProposedAction();
  emit pathsDropped(paths);
}

void EditableListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  // The view's own double-click handling (which would start its own edit)
  // is not run: a cell under the pointer is edited, anything else ignored.
  QModelIndex index = indexAt(event->position().toPoint());
  if (!index.isValid()) return;
  if (editable_) {
    EditCell(index.row(), index.column());
  } else {
    SelectRow(index.row());
    emit rowDoubleClicked(index.row());
  }
}

void EditableListCtrl::scrollContentsBy(int dx, int dy) {
  // Scrolling ends an edit in progress and keeps its text.
  if (state() == QAbstractItemView::EditingState) {
    if (QWidget* editor = indexWidget(currentIndex())) {
      commitData(editor);
      closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
  }
  QTableView::scrollContentsBy(dx, dy);
}

void EditableListCtrl::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  ApplyColumnFractions();
}

}  // namespace strbatch
