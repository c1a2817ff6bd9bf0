#pragma once
// The five-panel status bar at the bottom edge of the main window: connection state, maker, model, serial
// number, the phone plugin's last message.
#include <QString>
#include <QWidget>
#include <array>

class QLabel;

class StatusPanels : public QWidget {
  Q_OBJECT
 public:
  explicit StatusPanels(QWidget* parent);
  QString panelText(int index) const;
  // Sets the panel's text, also as its tooltip and accessible name.
  void setPanelText(int index, const QString& text);
  QLabel* panel(int index) const { return panels_[static_cast<size_t>(index)]; }

 private:
  std::array<QLabel*, 5> panels_{};
};
