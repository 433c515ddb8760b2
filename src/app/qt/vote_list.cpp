#include "app/qt/vote_list.h"

#include <QApplication>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>
#include <memory>

#include "app/qt/qt_utils.h"

namespace {

// Rows of one fixed height, text drawn close to the left edge as in a classic list box: the narrow number
// column has room for two digits and little else.
class RowDelegate final : public QStyledItemDelegate {
 public:
  RowDelegate(const VoteList& list, QObject* parent) : QStyledItemDelegate(parent), list_(list) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width(), list_.rowHeight()};
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QPalette::ColorGroup group =
        option.state.testFlag(QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
    if (selected)
      painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
    painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(option.font);
    const QRect text = option.rect.adjusted(kTextMargin, 0, -1, 0);
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    if (option.state.testFlag(QStyle::State_HasFocus)) {
      QStyleOptionFocusRect focus;
      focus.QStyleOption::operator=(option);
      focus.backgroundColor = option.palette.color(group, selected ? QPalette::Highlight : QPalette::Base);
      const QWidget* widget = option.widget;
      (widget != nullptr ? widget->style() : QApplication::style())
          ->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
  }

 private:
  static constexpr int kTextMargin = 2;
  const VoteList& list_;
};

}  // namespace

VoteList::VoteList(QWidget* parent) : QListWidget(parent) {
  setUniformItemSizes(true);
  setSpacing(0);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The three columns scroll together through alignRows; a bar of its own would take a column's width.
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setItemDelegate(new RowDelegate(*this, this));
}

void VoteList::fitRows(int rows) {
  rows_ = rows;
  const int inner = height() - 2 * frameWidth();
  rowHeight_ = std::max(1, inner / rows);
  // QListView does not snap to whole rows: the rest of the height is a margin, so no row shows in part.
  setViewportMargins(0, 0, 0, inner - rows * rowHeight_);
  doItemsLayout();
}

void VoteList::resizeEvent(QResizeEvent* event) {
  QListWidget::resizeEvent(event);
  if (rows_ > 0 && (height() - 2 * frameWidth()) / rows_ != rowHeight_)
    fitRows(rows_);
}

void VoteList::setRows(const std::vector<std::string>& rows) {
  const int wanted = static_cast<int>(rows.size());
  while (count() > wanted)
    delete takeItem(count() - 1);
  while (count() < wanted)
    addItem(QString());
  for (int row = 0; row < wanted; ++row) {
    const QString text = qtutils::toQt(rows[static_cast<std::size_t>(row)]);
    QListWidgetItem* line = item(row);
    if (line->text() != text)
      line->setText(text);
  }
}

namespace {

QList<int> selectedRows(const QListWidget& list) {
  QList<int> rows;
  for (const QModelIndex& index : list.selectionModel()->selectedIndexes())
    rows.append(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

// Gives `to` the current row and the selection of `from`. Nothing changes, and so nothing is echoed back,
// when the two already agree.
void follow(const QListWidget& from, QListWidget& to) {
  const int row = from.currentRow();
  if (to.currentRow() != row)
    to.selectionModel()->setCurrentIndex(to.model()->index(row, 0), QItemSelectionModel::NoUpdate);
  const QList<int> rows = selectedRows(from);
  if (selectedRows(to) != rows) {
    QItemSelection selection;
    for (int selected : rows)
      selection.select(to.model()->index(selected, 0), to.model()->index(selected, 0));
    to.selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  }
}

}  // namespace

void alignRows(const std::vector<QListWidget*>& lists) {
  // While one list hands its state on, the changes it causes in the others are not handed back: they
  // would carry the half-updated state of the list that is following.
  auto busy = std::make_shared<bool>(false);
  for (QListWidget* from : lists) {
    auto lead = [from, lists, busy] {
      if (*busy)
        return;
      *busy = true;
      for (QListWidget* to : lists) {
        if (to != from)
          follow(*from, *to);
      }
      *busy = false;
    };
    QObject::connect(from->selectionModel(), &QItemSelectionModel::currentChanged, from, lead);
    QObject::connect(from->selectionModel(), &QItemSelectionModel::selectionChanged, from, lead);
    for (QListWidget* to : lists) {
      // Setting the value a bar already has emits nothing, so the bars do not echo each other for ever.
      if (to != from)
        QObject::connect(from->verticalScrollBar(), &QScrollBar::valueChanged, to->verticalScrollBar(),
                         &QScrollBar::setValue);
    }
  }
}
