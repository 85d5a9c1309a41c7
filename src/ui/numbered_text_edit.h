// A plain text control with the line numbers in a gutter on its left.
#ifndef STRBATCH_UI_NUMBERED_TEXT_EDIT_H_
#define STRBATCH_UI_NUMBERED_TEXT_EDIT_H_

#include <QPlainTextEdit>

namespace strbatch {

class NumberedTextEdit : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit NumberedTextEdit(QWidget* parent);

  // The width the gutter needs for the largest line number.
  int GutterWidth() const;
  // Paints the numbers of the visible lines into the gutter.
  void PaintGutter(QPaintEvent* event);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QWidget* gutter_;
};

}  // namespace strbatch

#endif  // STRBATCH_UI_NUMBERED_TEXT_EDIT_H_
