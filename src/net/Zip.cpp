#include "net/Zip.h"

TZip::TZip(QObject* owner, quorrel::Prompter* prompter) : QObject(owner), prompter_(prompter) {}
