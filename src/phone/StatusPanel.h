#pragma once
// The panels of the window's status bar by what they show, left to right.

namespace quorrel {

enum class StatusPanel {
  Connection,     // "Соединение установлено" or not
  Maker,          // the phone's answer to AT+CGMI
  Model,          // to AT+CGMM
  SerialNumber,   // to AT+CGSN
  PluginMessage,  // the phone plugin's last log line
};
constexpr int StatusPanelCount = 5;

// The panels that describe the connected phone.
constexpr StatusPanel PhonePanels[] = {StatusPanel::Maker, StatusPanel::Model, StatusPanel::SerialNumber};

}  // namespace quorrel
