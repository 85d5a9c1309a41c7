// The changes of one file of a replace preview as a Qt model and the
// delegate that draws them: a row per change, its line with the change's
// check box, and the change as the line before and after it with the removed
// and the inserted text marked. Rows are made on demand, so a file with any
// number of changes is shown at once.
#ifndef STRBATCH_UI_PREVIEW_MODELS_H_
#define STRBATCH_UI_PREVIEW_MODELS_H_

#include <QAbstractTableModel>
#include <QCache>
#include <QString>
#include <QStyledItemDelegate>
#include <functional>
#include <vector>

#include "batch/replace_preview.h"

namespace strbatch {

// What a row of the change list shows of change k: the text before it on
// its line, what it removes, what it inserts and the text after it.
struct ChangeParts {
  QString before;
  QString removed;
  QString inserted;
  QString after;
};
ChangeParts PartsOfChange(const FilePreview& file, size_t k);

class ChangeListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kLineColumn = 0;
  static constexpr int kChangeColumn = 1;
  // Data role of the change column: the row's ChangeParts.
  static constexpr int kPartsRole = Qt::UserRole + 1;

  explicit ChangeListModel(QObject* parent) : QAbstractTableModel(parent) {}

  // Lists the changes of file with their boxes from accepted (both must
  // outlive the model's use of them); null lists nothing.
  void ShowFile(const FilePreview* file, const std::vector<bool>* accepted);
  // The boxes of rows first to last (inclusive) changed in accepted.
  void BoxesChanged(size_t first, size_t last);
  void SetTitles(const QString& line, const QString& change);

  // Called when a box of the view is toggled: change k, its new state. The
  // model never writes the boxes itself.
  std::function<void(size_t k, bool accepted)> onToggle;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  const ChangeParts& Parts(int row) const;

  const FilePreview* file_ = nullptr;
  const std::vector<bool>* accepted_ = nullptr;
  QString titles_[2];
  // The rows drawn lately: a repaint does not decode their lines again.
  mutable QCache<int, ChangeParts> parts_{512};
};

// Draws the change column: "- " and the line with the removed text on red,
// "+ " and the line with the inserted text on green, one text line each.
// Every row has the same height.
class ChangeDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace strbatch

#endif  // STRBATCH_UI_PREVIEW_MODELS_H_
