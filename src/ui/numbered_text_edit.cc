#include "ui/numbered_text_edit.h"

#include <QPainter>
#include <QTextBlock>

namespace strbatch {
namespace {

class Gutter : public QWidget {
 public:
  explicit Gutter(NumberedTextEdit* edit) : QWidget(edit), edit_(edit) {}
  QSize sizeHint() const override { return QSize(edit_->GutterWidth(), 0); }

 protected:
  void paintEvent(QPaintEvent* event) override { edit_->PaintGutter(event); }

 private:
  NumberedTextEdit* edit_;
};

}  // namespace

NumberedTextEdit::NumberedTextEdit(QWidget* parent)
    : QPlainTextEdit(parent), gutter_(new Gutter(this)) {
  const auto fit = [this] { setViewportMargins(GutterWidth(), 0, 0, 0); };
  connect(this, &QPlainTextEdit::blockCountChanged, this, fit);
  connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
    if (dy != 0) {
      gutter_->scroll(0, dy);
    } else {
      gutter_->update(0, rect.y(), gutter_->width(), rect.height());
    }
  });
  fit();
}

int NumberedTextEdit::GutterWidth() const {
  int digits = 1;
  for (int count = std::max(1, blockCount()); count >= 10; count /= 10) digits++;
  return 8 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits;
}

void NumberedTextEdit::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  const QRect area = contentsRect();
  gutter_->setGeometry(QRect(area.left(), area.top(), GutterWidth(), area.height()));
}

void NumberedTextEdit::PaintGutter(QPaintEvent* event) {
  QPainter painter(gutter_);
  painter.fillRect(event->rect(), palette().color(QPalette::AlternateBase));
  painter.setPen(palette().color(QPalette::PlaceholderText));
  QTextBlock block = firstVisibleBlock();
  int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
  while (block.isValid() && top <= event->rect().bottom()) {
    const int height = qRound(blockBoundingRect(block).height());
    if (block.isVisible() && top + height >= event->rect().top()) {
      painter.drawText(0, top, gutter_->width() - 4, fontMetrics().height(), Qt::AlignRight,
                       QString::number(block.blockNumber() + 1));
    }
    top += height;
    block = block.next();
  }
}

}  // namespace strbatch
