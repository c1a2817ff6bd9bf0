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
  const int widths[quorrel::StatusPanelCount] = {150, 80, 80, 130, 50};
  for (int i = 0; i < quorrel::StatusPanelCount; ++i) {
    auto* l = new QLabel(this);
    l->setObjectName(QStringLiteral("statusPanel%1").arg(i));
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setFont(quorrel::uiFont());
    l->setTextFormat(Qt::PlainText);  // texts from the phone and its plugin are never markup
    if (i < static_cast<int>(quorrel::StatusPanel::PluginMessage)) {
      l->setFixedWidth(widths[i]);
      row->addWidget(l);
    } else {
      l->setMinimumWidth(widths[i]);
      row->addWidget(l, 1);
    }
    panels_[static_cast<size_t>(i)] = l;
  }
}

QString StatusPanels::panelText(quorrel::StatusPanel panel) const { return this->panel(panel)->text(); }

void StatusPanels::setPanelText(quorrel::StatusPanel panel, const QString& text) {
  QLabel* l = this->panel(panel);
  const QString shown = quorrel::shownLabel(text);
  l->setText(shown);
  // A tooltip takes a text that looks like markup for rich text; this one is always shown as it stands.
  l->setToolTip(shown.isEmpty() ? QString() : Qt::convertFromPlainText(shown, Qt::WhiteSpaceNormal));
  l->setAccessibleName(shown);
}
