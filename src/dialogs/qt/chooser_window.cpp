#include "dialogs/qt/chooser_window.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "app/qt/qt_utils.h"

using qtutils::button;
using qtutils::fromQt;
using qtutils::make;
using qtutils::toQt;

namespace {

QListWidget* hiddenList(QWidget* parent, const char* name, const std::vector<std::string>& items, int left,
                        int top, int width, int height) {
  auto* list = make<QListWidget>(parent, name, left, top, width, height);
  for (const std::string& item : items)
    list->addItem(toQt(item));
  list->hide();
  return list;
}

}  // namespace

ChooserWindow::ChooserWindow(const std::filesystem::path& settingsPath, qtutils::NoticePort& notices,
                             TickNesting& ticks)
    : ProgramDialog("frmchoosegame", kChooserCaption, notices), logic_(settingsPath, port(), ticks) {
  placeWindow(2760, 3750, 5130, 945);
  logic_.Form_Load();

  OKButton = button(this, "OKButton", kChooserOkCaption, 2400, 480, 1215, 375);
  CancelButton = button(this, "CancelButton", kChooserCancelCaption, 3720, 480, 1215, 375);
  Combo1 = make<QComboBox>(this, "Combo1", 720, 90, 4275, 315);
  Combo1->setEditable(true);
  Combo1->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& name : logic_.Combo1Items)
    Combo1->addItem(toQt(name));
  Combo1->setCurrentIndex(-1);
  Combo1->setEditText(toQt(logic_.Combo1Text));
  Label1 = make<QLabel>(this, "Label1", 120, 120, 615, 255);
  Label1->setText(QLatin1String(kChooserLabel));
  List1 = hiddenList(this, "List1", logic_.List1, 720, 960, 1215, 1035);
  List2 = hiddenList(this, "List2", logic_.List2, 2040, 960, 1215, 1035);
  List3 = hiddenList(this, "List3", logic_.List3, 3360, 960, 1215, 1035);
  setTabOrder(OKButton, CancelButton);
  setTabOrder(CancelButton, Combo1);

  qtutils::fitTexts(*this);

  connect(Combo1, &QComboBox::currentIndexChanged, this, [this] { pickedOrTyped(); });
  connect(Combo1, &QComboBox::editTextChanged, this, [this] { pickedOrTyped(); });
  connect(OKButton, &QPushButton::clicked, this, [this] { logic_.OKButton_Click(); });
  connect(CancelButton, &QPushButton::clicked, this, [this] { logic_.CancelButton_Click(); });
}

void ChooserWindow::pickedOrTyped() {
  const int index = Combo1->currentIndex();
  const QString text = Combo1->currentText();
  // Picking an item also sets the text, in either order of the two signals; text that still reads as the
  // picked item keeps the pick.
  if (index >= 0 && Combo1->itemText(index) == text)
    logic_.setCombo1ListIndex(index);
  else
    logic_.setCombo1Text(fromQt(text));
}
