// One column of the vote table: a list box that shows whole rows only (sixteen of them at the table's
// height, never a part of a seventeenth) and updates only the rows whose text changed, so that the table
// neither flickers nor loses its selection when a tick refreshes it.
#pragma once

#include <QListWidget>
#include <string>
#include <vector>

class VoteList final : public QListWidget {
 public:
  explicit VoteList(QWidget* parent);

  // Fits `rows` whole rows into the list's current height; call after its geometry is set. The space
  // left below the last whole row stays empty.
  void fitRows(int rows);
  int rowHeight() const { return rowHeight_; }

  void setRows(const std::vector<std::string>& rows);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  int rowHeight_ = 0;
  int rows_ = 0;
};

// Keeps lists row for row together: the current row and the scroll position of one are those of all.
void alignRows(const std::vector<QListWidget*>& lists);
