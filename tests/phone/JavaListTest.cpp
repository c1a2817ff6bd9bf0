// The Java list text, its alphabetical order, and the manual-sort dialog's moves.
#include <QListWidget>
#include <QToolButton>

#include "PhoneFixture.h"
#include "phone/JavaList.h"
#include "phone/JavaListOrderDialog.h"
#include "support/Widgets.h"

using testsupport::widget;

using quorrel::joinJavaList;
using quorrel::splitJavaList;
using Entries = std::vector<std::string>;

TEST(JavaListText, LinesEndAtAnyBreakAndTheTextAtItsFirstNul) {
  EXPECT_EQ(splitJavaList("a\r\nb\rc\nd"), (Entries{"a", "b", "c", "d"}));
  EXPECT_EQ(splitJavaList("a\r\nb\r\n"), (Entries{"a", "b"}));  // no entry after the last break
  EXPECT_EQ(splitJavaList("a\n\nb\n"), (Entries{"a", "", "b"}));
  EXPECT_EQ(splitJavaList("a\r\r\nb"), (Entries{"a", "", "b"}));
  EXPECT_EQ(splitJavaList(std::string("a\r\nb\0c\r\n", 8)), (Entries{"a", "b"}));
  EXPECT_EQ(splitJavaList(""), Entries{});
  EXPECT_EQ(splitJavaList("\r\n"), Entries{""});
}

TEST(JavaListText, EveryEntryIsFollowedByCrLfAndTheBytesAreKept) {
  EXPECT_EQ(joinJavaList({"a", "", "b"}), "a\r\n\r\nb\r\n");
  EXPECT_EQ(joinJavaList({}), "");
  const std::string odd = "\x98\xC0\xFF";  // includes a byte with no character in Windows-1251
  EXPECT_EQ(joinJavaList(splitJavaList("b\n" + odd + "\n")), "b\r\n" + odd + "\r\n");
}

TEST(JavaListText, AlphabeticalOrderIgnoresCase) {
  Entries e{"beta", "Alpha", "gamma"};
  quorrel::sortJavaList(e);
  EXPECT_EQ(e, (Entries{"Alpha", "beta", "gamma"}));
  Entries ru{testsupport::cp1251("игра"), testsupport::cp1251("Арбуз"), "zeta", testsupport::cp1251("бег")};
  quorrel::sortJavaList(ru);
  EXPECT_EQ(ru[1], testsupport::cp1251("Арбуз"));
  EXPECT_EQ(ru[2], testsupport::cp1251("бег"));
  EXPECT_EQ(ru[3], testsupport::cp1251("игра"));
}

namespace {

class SortDialog : public PhoneWindow {
 protected:
  void fill(const QStringList& rows) {
    box()->clear();
    box()->addItems(rows);
  }
  QListWidget* box() const { return widget<QListWidget>(*form->javaListOrderDialog(), "entryList"); }
  QStringList rows() const {
    QStringList out;
    for (int i = 0; i < box()->count(); ++i) out << box()->item(i)->text();
    return out;
  }
};

}  // namespace

TEST_F(SortDialog, MovesExchangeWithTheNeighbourAndTheSelectionStaysOnItsRow) {
  fill({"A", "B", "C"});
  box()->setCurrentRow(2);
  widget<QToolButton>(*form->javaListOrderDialog(), "moveUpButton")->click();
  EXPECT_EQ(rows(), (QStringList{"A", "C", "B"}));
  EXPECT_EQ(box()->currentRow(), 2);
  EXPECT_TRUE(box()->item(2)->isSelected());
  EXPECT_FALSE(box()->item(1)->isSelected());
  widget<QToolButton>(*form->javaListOrderDialog(), "moveUpButton")->click();
  EXPECT_EQ(rows(), (QStringList{"A", "B", "C"}));

  box()->setCurrentRow(0);
  widget<QToolButton>(*form->javaListOrderDialog(), "moveDownButton")->click();
  EXPECT_EQ(rows(), (QStringList{"B", "A", "C"}));
  EXPECT_EQ(box()->currentRow(), 0);
  EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(SortDialog, MovesOffTheListAreReportedAndChangeNothing) {
  fill({"A", "B", "C"});
  box()->setCurrentRow(0);
  widget<QToolButton>(*form->javaListOrderDialog(), "moveUpButton")->click();
  box()->setCurrentRow(2);
  widget<QToolButton>(*form->javaListOrderDialog(), "moveDownButton")->click();
  box()->setCurrentRow(-1);
  widget<QToolButton>(*form->javaListOrderDialog(), "moveUpButton")->click();
  widget<QToolButton>(*form->javaListOrderDialog(), "moveDownButton")->click();
  EXPECT_EQ(rows(), (QStringList{"A", "B", "C"}));
  EXPECT_EQ(prompter.errors(),
            (std::vector<QString>{
                QStringLiteral("List index out of bounds (-1)"), QStringLiteral("List index out of bounds (3)"),
                QStringLiteral("List index out of bounds (-1)"), QStringLiteral("List index out of bounds (-1)")}));
}
