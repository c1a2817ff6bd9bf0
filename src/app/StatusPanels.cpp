#include "app/StatusPanels.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTextDocument>

#include "app/WindowFonts.h"
#include "common/ShownText.h"

StatusPanels::StatusPanels(QWidget* parent) : QWidget(parent) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 1, 0, 0);
  row->setSpacing(2);
  const int widths[5] = {150, 80, 80, 130, 50};
  for (int i = 0; i < 5; ++i) {
    auto* l = new QLabel(this);
    l->setObjectName(QStringLiteral("statusPanel%1").arg(i));
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setFont(quorrel::uiFont());
    l->setTextFormat(Qt::PlainText);  // texts from the phone and its plugin are never markup
    if (i < 4) {
      l->setFixedWidth(widths[i]);
      row->addWidget(l);
    } else {
      l->setMinimumWidth(widths[i]);
      row->addWidget(l, 1);
    }
    panels_[static_cast<size_t>(i)] = l;
  }
}

QString StatusPanels::panelText(int index) const { return panels_[static_cast<size_t>(index)]->text(); }

void StatusPanels::setPanelText(int index, const QString& text) {
  QLabel* l = panels_[static_cast<size_t>(index)];
  const QString shown = quorrel::shownLabel(text);
  l->setText(shown);
  // A tooltip takes a text that looks like markup for rich text; this one is always shown as it stands.
  l->setToolTip(shown.isEmpty() ? QString() : Qt::convertFromPlainText(shown, Qt::WhiteSpaceNormal));
  l->setAccessibleName(shown);
}
