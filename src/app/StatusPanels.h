#pragma once
// The five-panel status bar at the bottom edge of the main window: connection state, maker, model, serial
// number, the phone plugin's last message.
#include <QString>
#include <QWidget>
#include <array>

#include "phone/StatusPanel.h"

class QLabel;

class StatusPanels : public QWidget {
  Q_OBJECT
 public:
  explicit StatusPanels(QWidget* parent);
  QString panelText(quorrel::StatusPanel panel) const;
  // Sets the panel's text, also as its tooltip and accessible name.
  void setPanelText(quorrel::StatusPanel panel, const QString& text);
  QLabel* panel(quorrel::StatusPanel panel) const { return panels_[static_cast<size_t>(panel)]; }

 private:
  std::array<QLabel*, quorrel::StatusPanelCount> panels_{};
};
