#pragma once
// The zip extraction component.
#include <QObject>

#include "common/Prompter.h"

class TZip : public QObject {
  Q_OBJECT
 public:
  TZip(QObject* owner, quorrel::Prompter* prompter);

  bool ShowProgressDialog = true;

 private:
  quorrel::Prompter* prompter_;
};
